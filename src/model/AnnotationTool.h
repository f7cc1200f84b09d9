#pragma once

#include <QList>
#include <QString>
#include <QStringView>

#include <optional>

namespace tessaline {

// The marks an annotation document can hold. The stored raw value of each
// case is its own name, so the enumerators keep the lower-case names.
enum class AnnotationTool {
    select,
    arrow,
    rectangle,
    freehand,
    highlight,
    text,
    pixelate,
};

QString rawValue(AnnotationTool tool);

// No value for anything but the seven raw values (case-sensitive).
std::optional<AnnotationTool> annotationToolFromRawValue(QStringView text);

// Every tool in declaration order (the editor's toolbar order).
QList<AnnotationTool> allAnnotationTools();

} // namespace tessaline
