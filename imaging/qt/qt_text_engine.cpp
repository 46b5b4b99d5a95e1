#include "imaging/qt/qt_text_engine.h"

#include "imaging/text_engine.h"

namespace quipix {

// FIXME: placeholder until the Qt engine lands.
void InstallQtTextEngine(double) {}

}  // namespace quipix
