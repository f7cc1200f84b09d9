#include "platform/UnavailableHotKeys.h"

#include "platform/KeyPositions.h"

namespace tessaline {

UnavailableHotKeys::UnavailableHotKeys(HotKeyStatus status, bool scanCodesNameKeys)
    : m_status(status)
    , m_scanCodesNameKeys(scanCodesNameKeys)
{
}

HotKeyStatus UnavailableHotKeys::installEventHandler(EventHandler)
{
    return m_status;
}

HotKeyStatus UnavailableHotKeys::registerHotKey(const HotKeyRequest &, HotKeyReference *)
{
    return m_status;
}

std::optional<quint32> UnavailableHotKeys::keyCodeAtScanCode(quint32 nativeScanCode) const
{
    if (!m_scanCodesNameKeys)
        return std::nullopt;
    return KeyPositions::storedKeyCode(nativeScanCode);
}

} // namespace tessaline
