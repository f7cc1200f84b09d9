#pragma once

#include <QString>

namespace tessaline::TextPool {

// Texts that repeat across a large library (kinds, source applications,
// window titles), each held once for the whole process: a record refers to
// one with a pointer instead of holding a text of its own, three times the
// size, fifty thousand times over. The same pointer for equal texts, valid
// for the life of the process; a null text pools as the empty one. Nothing
// pooled is freed: the texts pooled come from few values each, and one no
// record refers to any more costs only its characters. On any thread.
const QString *pooled(const QString &text);

} // namespace tessaline::TextPool
