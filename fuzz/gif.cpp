// Fuzz target: the GIF reader on arbitrary bytes.
#include "fuzz/fuzz_reader.h"
#include "imaging/readers/readers.h"

QUIPIX_FUZZ_READER(quipix::MakeGIFReader())
