#pragma once

#include <QString>

namespace tessaline {

// Which notes the notes screen lists: one folder, all of them, the
// favourites or the Quick Captures note.
class NoteListFilter
{
public:
    enum class Kind { folder, all, favorites, quickCaptures };

    static NoteListFilter folder(const QString &name) { return NoteListFilter(Kind::folder, name); }
    static NoteListFilter all() { return NoteListFilter(Kind::all); }
    static NoteListFilter favorites() { return NoteListFilter(Kind::favorites); }
    static NoteListFilter quickCaptures() { return NoteListFilter(Kind::quickCaptures); }

    Kind kind() const { return m_kind; }
    // The folder of a folder filter; empty otherwise.
    QString folderName() const { return m_folderName; }

    friend bool operator==(const NoteListFilter &, const NoteListFilter &) = default;

private:
    explicit NoteListFilter(Kind kind, QString folderName = {}) : m_kind(kind), m_folderName(std::move(folderName)) {}

    Kind m_kind = Kind::all;
    QString m_folderName;
};

} // namespace tessaline
