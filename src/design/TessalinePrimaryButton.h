#pragma once

#include "design/StudioButton.h"

namespace tessaline {

// The main action of a sheet, window, panel or toast: an inverted chip in the
// label colour whose metrics follow the control size.
class TessalinePrimaryButton : public StudioButton
{
    Q_OBJECT
public:
    explicit TessalinePrimaryButton(const QString &title = {}, const QString &systemImage = {},
                                    QWidget *parent = nullptr);
};

} // namespace tessaline
