// The Qt text engine. Lines follow the Windows text call the program was designed
// around: explicit breaks (CR LF, CR, LF) start new lines, word wrap breaks only
// between words (a longer word stays alone on its line and is clipped), every line
// is the font's full height (ascent + descent) and is centred on its own.
#include "qt/qt_text_engine.h"

#include <QFont>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QScreen>
#include <QTextLayout>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

#include "imaging/text_engine.h"

namespace quipix {

namespace {

struct LineInfo {
    int paragraph;  // index into the paragraph layouts
    int line;       // line within that paragraph
    int width;      // advance of its text, trailing spaces left out
};

class QtTextEngine final : public CachingTextEngine {
public:
    explicit QtTextEngine(double dpi) : dpi_(dpi) {}

private:
    struct QtLayout : Layout {
        QFont qfont;
        int lineHeight = 0;
        int overhang = 0;  // room around a line's advance for glyph bearings
        std::vector<std::unique_ptr<QTextLayout>> paragraphs;
        std::vector<LineInfo> lines;
    };

    QFont MakeFont(const TPGFont& f) const {
        QFont q(QString::fromStdString(f.Name));
        const double px = std::abs(double(f.Size)) * dpi_ / 72.0;
        q.setPixelSize(std::max(1, int(std::lround(px))));
        q.setBold(f.Bold);
        q.setItalic(f.Italic);
        q.setStyleStrategy(QFont::PreferAntialias);
        return q;
    }

    std::unique_ptr<Layout> BuildLayout(const TPGFont& font, std::string_view text, int width,
                                        unsigned flags) override {
        auto l = std::make_unique<QtLayout>();
        l->qfont = MakeFont(font);
        const QFontMetrics fm(l->qfont);
        l->lineHeight = fm.height();
        l->overhang = (fm.height() + 3) / 4;

        QStringList paragraphs;
        for (const std::u16string& line : SplitTextLines(DecodeText(text), flags & DT_SINGLELINE))
            paragraphs << QString::fromStdU16String(line);

        QTextOption option;
        option.setWrapMode((flags & DT_WORDBREAK) ? QTextOption::WordWrap : QTextOption::NoWrap);
        option.setAlignment(Qt::AlignLeft);
        for (const QString& para : paragraphs) {
            auto layout = std::make_unique<QTextLayout>(para, l->qfont);
            layout->setTextOption(option);
            layout->setCacheEnabled(true);
            layout->beginLayout();
            int count = 0;
            while (true) {
                QTextLine line = layout->createLine();
                if (!line.isValid()) break;
                if (flags & DT_WORDBREAK) line.setLineWidth(std::max(width, 0));
                line.setPosition(QPointF(0, 0));
                ++count;
            }
            layout->endLayout();
            const int p = int(l->paragraphs.size());
            for (int i = 0; i < count; ++i) {
                const int w = int(std::ceil(layout->lineAt(i).naturalTextWidth() - 0.01));
                l->lines.push_back({p, i, w});
                l->Extent.Width = std::max(l->Extent.Width, w);
            }
            if (count == 0) l->lines.push_back({p, -1, 0});  // an empty line still counts
            l->paragraphs.push_back(std::move(layout));
        }
        if ((flags & DT_SINGLELINE) && l->lines.empty()) l->lines.push_back({0, -1, 0});
        l->Extent.Height = int(l->lines.size()) * l->lineHeight;
        return l;
    }

    std::shared_ptr<const TextMask> BuildMask(const Layout& layout, int width, int height,
                                              unsigned flags) override {
        const auto& l = static_cast<const QtLayout&>(layout);
        auto mask = std::make_shared<TextMask>();
        height = std::min(height, l.Extent.Height);
        if (width <= 0 || height <= 0 || l.lines.empty()) return mask;
        const bool center = flags & DT_CENTER;
        const auto lineX = [&](const LineInfo& li) { return center ? (width - li.width) / 2 : 0; };

        // Only the part of the rectangle that ink can reach is rendered, so the mask
        // is bounded by the text, not by the rectangle.
        int left = width, right = 0;
        for (const LineInfo& li : l.lines) {
            if (li.line < 0) continue;
            left = std::min(left, lineX(li) - l.overhang);
            right = std::max(right, lineX(li) + li.width + l.overhang);
        }
        left = std::max(left, 0);
        right = std::min(right, width);
        if (right <= left) return mask;

        mask->Left = left;
        mask->Top = 0;
        mask->Width = right - left;
        mask->Height = height;
        QImage image(mask->Width, mask->Height, QImage::Format_Alpha8);
        image.fill(0);
        {
            QPainter painter(&image);
            painter.setRenderHint(QPainter::TextAntialiasing, true);
            painter.setRenderHint(QPainter::Antialiasing, true);
            painter.setPen(QColor(0, 0, 0, 255));
            painter.setFont(l.qfont);
            painter.translate(-left, 0);
            for (std::size_t i = 0; i < l.lines.size(); ++i) {
                const LineInfo& li = l.lines[i];
                const int y = int(i) * l.lineHeight;
                if (y >= height) break;
                if (li.line < 0) continue;
                l.paragraphs[std::size_t(li.paragraph)]->lineAt(li.line).draw(&painter,
                                                                              QPointF(lineX(li), y));
            }
        }
        mask->Coverage.resize(std::size_t(mask->Width) * std::size_t(mask->Height));
        for (int y = 0; y < mask->Height; ++y)
            std::memcpy(mask->Coverage.data() + std::size_t(y) * std::size_t(mask->Width),
                        image.constScanLine(y), std::size_t(mask->Width));
        FindSpans(*mask);
        return mask;
    }

    double dpi_;
};

}  // namespace

std::shared_ptr<TextEngine> MakeQtTextEngine(double dpi) {
    if (!(dpi > 0)) {
        dpi = 96;
        if (qGuiApp) {
            if (const QScreen* screen = QGuiApplication::primaryScreen()) dpi = screen->logicalDotsPerInch();
        }
        if (!(dpi > 0)) dpi = 96;
    }
    return std::make_shared<QtTextEngine>(dpi);
}

void InstallQtTextEngine(double dpi) { SetTextEngine(MakeQtTextEngine(dpi)); }

double ScreenTextDpi(const QScreen* screen) {
    if (!screen) return 96;
    const double logical = screen->logicalDotsPerInch();
    const double ratio = screen->devicePixelRatio();
    // Points follow the screen's logical DPI; pictures are drawn in device pixels.
    return (logical > 0 ? logical : 96) * (ratio > 0 ? ratio : 1);
}

}  // namespace quipix
