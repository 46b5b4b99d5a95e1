// Fuzz target: the AVIF reader (libheif) on arbitrary bytes.
#include "fuzz/fuzz_reader.h"
#include "imaging/readers/readers.h"

QUIPIX_FUZZ_READER(quipix::MakeHEIFReader("avif"))
