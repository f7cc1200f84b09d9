#pragma once

#include <QProxyStyle>

namespace tessaline {

// The application's style, as the desktop chose it, except that the icon of
// a toolbar's overflow button is read from the style when it is first
// shown rather than as the toolbar is made. Qt reads such a PNG only after
// asking every image format plugin whether it would rather: the main
// window's toolbar opened all ten, with the libraries they bring, before
// its first frame, for a button that shows only in a narrow window.
class DeferredIconStyle : public QProxyStyle
{
public:
    // Over a new instance of the style named `key`.
    explicit DeferredIconStyle(const QString &key);

    QIcon standardIcon(StandardPixmap standardIcon, const QStyleOption *option = nullptr,
                       const QWidget *widget = nullptr) const override;

    // Puts itself over the style the application would use.
    static void install();
};

} // namespace tessaline
