#include "design/TessalinePrimaryButton.h"

namespace tessaline {

TessalinePrimaryButton::TessalinePrimaryButton(const QString &title, const QString &systemImage, QWidget *parent)
    : StudioButton(Style::primary, parent)
{
    setTracksHover(true);
    setText(title);
    setSystemImage(systemImage);
}

} // namespace tessaline
