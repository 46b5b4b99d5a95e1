# Lines of Chinese and Japanese text may break between any two characters, but groff
# 1.22 breaks only at spaces: a break point (\:) goes after each such character that
# is not followed by punctuation that must not begin a line. Text lines only; requests
# and macro lines stay as they are. Text left-aligned, as spaces are rare.
use utf8;
use open qw(:std :encoding(UTF-8));
my $cjk = qr/[\x{3040}-\x{30FF}\x{3400}-\x{9FFF}\x{3001}\x{3002}\x{300D}\x{300F}\x{FF01}\x{FF09}\x{FF0C}\x{FF1A}\x{FF1B}\x{FF1F}]/;
my $closing = qr/[\x{3001}\x{3002}\x{300D}\x{300F}\x{FF01}\x{FF09}\x{FF0C}\x{FF1A}\x{FF1B}\x{FF1F}\x{30FC}]/;
while (<>) {
    s/($cjk)(?!$closing)(?=.)/$1\\:/g unless /^[.']/;
    print;
    print ".ad l\n" if /^\.TH /;
}
