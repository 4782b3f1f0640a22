// Linked into the tests that run whole conversions: registers the helper
// programs as built (resources/tarnwick_tools.rcc) under the same resource
// names the programs embed, so Tools::LoadResource finds them. Reading the
// file at start-up keeps these tests from relinking when a tool changes.
#include <QResource>
#include <QString>

#include <cstdio>

namespace {

const bool g_registered = [] {
    const bool registered = QResource::registerResource(QStringLiteral(TARNWICK_TOOLS_RCC));
    if (!registered)
        std::fprintf(stderr, "cannot register the built tools from %s\n", TARNWICK_TOOLS_RCC);
    return registered;
}();

} // namespace
