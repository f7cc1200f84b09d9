#pragma once

#include <QString>

namespace tessaline {

// A failure of the store itself (opening, reading or writing the library).
struct StoreError
{
    QString message;

    friend bool operator==(const StoreError &, const StoreError &) = default;
};

} // namespace tessaline
