#include "config/Settings.h"

namespace quoril {

namespace {
Settings g_staticSettings;
Settings* g_settings = &g_staticSettings;
}  // namespace

Settings& settings() {
    return *g_settings;
}

void setSettingsInstance(Settings* instance) {
    g_settings = instance ? instance : &g_staticSettings;
}

}  // namespace quoril
