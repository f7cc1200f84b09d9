#pragma once

// Libraries on disk for the benchmarks, shaped like one a person has used for
// years: notes with writing that refers to their cards, snips with recognised
// text, source apps, window titles and real PNG pictures, thoughts, a few
// folders, favourites, trashed notes and cards, and connections on the maps.
// Each shape is generated once and kept under the build tree; a benchmark
// works on a copy, so saves touch a real file and the kept one stays as made.

#include "model/ModelContainer.h"

#include <QString>

#include <algorithm>
#include <memory>

namespace tessaline::bench {

struct LibraryShape
{
    int cards = 1000;
    // One note for every 25 cards unless given.
    int notes = 0;

    int noteCount() const { return notes > 0 ? notes : std::max(4, cards / 25); }
};

class LibraryFixture
{
public:
    // The kept library file of this shape, generated when missing (a 50,000
    // card library takes some seconds). Empty when it could not be made.
    static QString cachedFile(const LibraryShape &shape);

    // Copies the kept library into `directory` under the file name the app
    // looks for there. False when it could not.
    static bool copyInto(const LibraryShape &shape, const QString &directory);

    // A copy of the kept library in `directory`, opened.
    static std::unique_ptr<ModelContainer> open(const LibraryShape &shape, const QString &directory);

    // The app's own library folder under a data home ($XDG_DATA_HOME).
    static QString appDataDirectory(const QString &dataHome);
};

} // namespace tessaline::bench
