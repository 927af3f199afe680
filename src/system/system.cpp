#include "system/system.h"

namespace wh::platform {

System& DefaultSystem();  // provided by the build's platform folder

namespace {
System* g_system = nullptr;
}

System& Sys() { return g_system ? *g_system : DefaultSystem(); }

void SetSystem(System* system) { g_system = system; }

}  // namespace wh::platform
