#pragma once

#include <QString>
#include <QStringView>

#include <array>
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

// Every tool in declaration order (the editor's toolbar order).
inline constexpr std::array<AnnotationTool, 7> annotationToolAllCases{
    AnnotationTool::select, AnnotationTool::arrow,     AnnotationTool::rectangle,
    AnnotationTool::freehand, AnnotationTool::highlight, AnnotationTool::text,
    AnnotationTool::pixelate,
};

QString annotationToolRawValue(AnnotationTool tool);

// No value for anything but the seven raw values (case-sensitive).
std::optional<AnnotationTool> annotationToolFromRawValue(QStringView rawValue);

} // namespace tessaline
