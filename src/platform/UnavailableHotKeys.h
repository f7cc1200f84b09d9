#pragma once

#include "platform/HotKeySystem.h"

namespace tessaline {

// Hot keys where the session has none to give: every registration ends with
// the status given at construction (noWindowSystem without a window system,
// notOffered on a Wayland desktop without the global shortcuts portal).
class UnavailableHotKeys : public HotKeySystem
{
public:
    // scanCodesNameKeys: key events' native scan codes are XKB key codes,
    // so the shortcut recorder can still tell keys by their place.
    UnavailableHotKeys(HotKeyStatus status, bool scanCodesNameKeys);

    HotKeyStatus installEventHandler(EventHandler handler) override;
    void removeEventHandler() override {}
    HotKeyStatus registerHotKey(const HotKeyRequest &request, HotKeyReference *reference) override;
    void unregisterHotKey(HotKeyReference) override {}
    std::optional<quint32> keyCodeAtScanCode(quint32 nativeScanCode) const override;

private:
    HotKeyStatus m_status;
    bool m_scanCodesNameKeys;
};

} // namespace tessaline
