// The scene host's default for hosts that keep a copy of what they show.
#include "saver/scene_host.h"

namespace quipix {

void SceneHost::FrameChanged(const TRect& area) {
    const TSceneFrame& f = frame_;
    const int w = Width(), h = Height();
    const TRect window{0, 0, w, h};
    // A picture of the window's size, as it is: handed over whole.
    if (area == window && f.Picture && f.Left == 0 && f.Top == 0 && f.Level >= 255 &&
        f.Picture->Width() == w && f.Picture->Height() == h && f.Picture->PixelFormat() == pgpf24Bit) {
        ShowPicture(f.Picture);
        return;
    }
    TRect changed = area;
    TPixelGraphic* own = ShownPicture();
    if (!own || own->Width() != w || own->Height() != h || own->PixelFormat() != pgpf24Bit) {
        ShowBlack(w, h);
        own = ShownPicture();
        if (!own) return;
        changed = window;
    }
    if (EmptyRect(changed)) return;
    RenderFrameArea(f, changed, *own);
    own->NotifyChangeArea(changed.Left, changed.Top, changed.Right, changed.Bottom);
}

}  // namespace quipix
