// Feeds arbitrary bytes to the reader of the stored shortcut configuration
// (the settings file is the user's to edit, and older or newer versions
// write it too), then to everything that uses what it accepts: the texts
// the menus and settings show, the validation, and writing it back. Any
// crash, sanitizer report or broken invariant is a finding.

#include "capture/GlobalShortcutConfigurationStore.h"
#include "capture/GlobalShortcutKeyCatalog.h"
#include "platform/Json.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

using namespace tessaline;

namespace {

[[noreturn]] void fail(const char *what)
{
    std::fprintf(stderr, "invariant broken: %s\n", what);
    std::abort();
}

void checkShortcut(const std::optional<GlobalShortcut> &shortcut)
{
    if (!shortcut)
        return;
    // Only keys of the catalog, with a modifier, pass validation.
    if (!GlobalShortcutKeyCatalog::descriptor(shortcut->keyCode))
        fail("an accepted shortcut's key is not in the catalog");
    if (GlobalShortcutValidationIssue::check(*shortcut))
        fail("an accepted shortcut does not pass its own check");
    const QString text = shortcut->displayText();
    if (text.isEmpty() || text == QLatin1String("Unavailable") || !text.contains(QLatin1Char('+')))
        fail("an accepted shortcut has no display text with its modifiers");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const auto configuration = GlobalShortcutConfigurationStore::decode(bytes);
    if (!configuration)
        return 0;
    if (!configuration->isValid())
        fail("the reader accepted an invalid configuration");
    checkShortcut(configuration->capture);
    checkShortcut(configuration->quickThought);

    // What is accepted can be written, and reads back equal.
    const auto written = writeJson(configuration->toJson());
    if (!written)
        fail("an accepted configuration cannot be written");
    const auto reread = GlobalShortcutConfigurationStore::decode(*written);
    if (!reread || !(*reread == *configuration))
        fail("writing and reading changed the configuration");
    return 0;
}
