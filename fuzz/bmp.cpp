// Fuzz target: the BMP, DIB and RLE reader on arbitrary bytes.
#include "fuzz/fuzz_reader.h"
#include "imaging/readers/readers.h"

QUIPIX_FUZZ_READER(quipix::MakeBMPReader("bmp"))
