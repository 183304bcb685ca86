// The viewer's four mouse cursors: constant 32 x 32 mask and image planes drawn below as pictures, and the
// QCursor made from each on first use.
#include "image-library/PGCursors.h"

#include <QCoreApplication>
#include <QImage>
#include <QPixmap>
#include <QThread>
#include <optional>

namespace {

// '.' shows the screen, '#' is black, 'O' is white.
// clang-format off
constexpr const char* MoveImageArt[32] = {
    "................................",
    "................................",
    "............#######.............",
    "............#OO#OO#.............",
    "............#OO#OO####..........",
    ".........####OO#OO#OO#..........",
    ".........#OO#OO#OO#OO#..........",
    ".........#OO#OO#OO#OO#..........",
    ".........#OO#OO#OO#OO#..........",
    ".........#OO#OO#OO#OO#..........",
    ".........#OO#OO#OO#OO#..........",
    ".........#OO#OO#OO#OO##.........",
    ".........#OOOOOOOOOOOO#.........",
    "...####..#OOOOOOOOOOOO#.........",
    "...#OO##.#OOOOOOOOOOOO#.........",
    "...#OOO###OOOOOOOOOOOO#.........",
    "...##OOO##OOOOOOOOOOOO#.........",
    "....##OOO#OOOOOOOOOOOO#.........",
    ".....##OOOOOOOOOOOOOOO#.........",
    "......##OOOOOOOOOOOOOO#.........",
    ".......###OOOOOOOOOOOO#.........",
    ".........#OOOOOOOOOOOO#.........",
    ".........#OOOOOOOOOOOO#.........",
    ".........##OOOOOOOOOO##.........",
    "..........#OOOOOOOOOO#..........",
    "..........############..........",
    "................................",
    "................................",
    "................................",
    "................................",
    "................................",
    "................................",
};

constexpr const char* MovingImageArt[32] = {
    "................................",
    "................................",
    "................................",
    "................................",
    "................................",
    "................................",
    "................................",
    "................................",
    ".........#############..........",
    ".........#OO#OO#OO#OO#..........",
    ".........#OO#OO#OO#OO##.........",
    ".........#OOOOOOOOOOOO#.........",
    ".........#OOOOOOOOOOOO#.........",
    ".......###OOOOOOOOOOOO#.........",
    ".......#OOOOOOOOOOOOOO#.........",
    ".......#OOOOOOOOOOOOOO#.........",
    ".......#OOOOOOOOOOOOOO#.........",
    ".......#OOOOOOOOOOOOOO#.........",
    ".......###OOOOOOOOOOOO#.........",
    ".........#OOOOOOOOOOOO#.........",
    ".........#OOOOOOOOOOOO#.........",
    ".........#OOOOOOOOOOOO#.........",
    ".........#OOOOOOOOOOOO#.........",
    ".........##OOOOOOOOOO##.........",
    "..........#OOOOOOOOOO#..........",
    "..........############..........",
    "................................",
    "................................",
    "................................",
    "................................",
    "................................",
    "................................",
};

constexpr const char* CreateSelectionArt[32] = {
    "...............#................",
    "...............O................",
    "...............O................",
    "...............O................",
    "...............#................",
    "...............#................",
    "...............#................",
    "...............O................",
    "...............O................",
    "...............O................",
    "...............#................",
    "...............#................",
    "...............#................",
    "................................",
    "................................",
    "#OOO###OOO###.....###OOO###OOO##",
    "................................",
    "................................",
    "...............#................",
    "...............#................",
    "...............#................",
    "...............O................",
    "...............O................",
    "...............O................",
    "...............#................",
    "...............#................",
    "...............#................",
    "...............O................",
    "...............O................",
    "...............O................",
    "...............#................",
    "...............#................",
};

constexpr const char* MoveSelectionArt[32] = {
    "................................",
    "................................",
    "................................",
    "................................",
    "...............OOO..............",
    "..............OO#OO.............",
    ".............OO###OO............",
    "............OO#####OO...........",
    "............O#######O...........",
    "............OOOO#OOOO...........",
    "...............O#O..............",
    "........OOO....O#O....OOO.......",
    ".......OO#O....O#O....O#OO......",
    "......OO##O....O#O....O##OO.....",
    ".....OO###OOOOOO#OOOOOO###OO....",
    ".....O#####################O....",
    ".....OO###OOOOOO#OOOOOO###OO....",
    "......OO##O....O#O....O##OO.....",
    ".......OO#O....O#O....O#OO......",
    "........OOO....O#O....OOO.......",
    "...............O#O..............",
    "............OOOO#OOOO...........",
    "............O#######O...........",
    "............OO#####OO...........",
    ".............OO###OO............",
    "..............OO#OO.............",
    "...............OOO..............",
    "................................",
    "................................",
    "................................",
    "................................",
    "................................",
};
// clang-format on

constexpr TPGCursorPlanes PlanesFromArt(const char* const (&Art)[PGCursorSize], int HotX, int HotY) {
    TPGCursorPlanes planes{};
    for (int y = 0; y < PGCursorSize; ++y) {
        for (int x = 0; x < PGCursorSize; ++x) {
            const uint32_t bit = uint32_t(1) << (PGCursorSize - 1 - x);
            switch (Art[y][x]) {
            case '.':
                planes.Mask[y] |= bit;
                break;
            case 'O':
                planes.Image[y] |= bit;
                break;
            case '#':
                break;
            default:
                throw "cursor pictures hold only '.', '#' and 'O'"; // stops the compiler
            }
        }
        if (Art[y][PGCursorSize] != 0)
            throw "cursor picture rows are 32 characters long";
    }
    planes.HotX = HotX;
    planes.HotY = HotY;
    return planes;
}

constexpr TPGCursorPlanes Planes[] = {
    PlanesFromArt(MoveImageArt, 16, 12),
    PlanesFromArt(MovingImageArt, 16, 12),
    PlanesFromArt(CreateSelectionArt, 15, 15),
    PlanesFromArt(MoveSelectionArt, 16, 15),
};

// QCursor needs a running QGuiApplication, so each is made when the viewer first asks for it.
std::optional<QCursor> Cursors[std::size(Planes)];

size_t Slot(TPGCursorId Id) {
    return size_t(Id - PGCursorMoveImage);
}

QCursor MakeCursor(const TPGCursorPlanes& Planes) {
    // QCursor's own bitmap and mask pair counts both planes the other way round; an ARGB picture says the
    // same without either convention. A pixel that would invert the screen has no ARGB form and none of
    // the cursors uses one, so it shows the screen.
    QImage image(PGCursorSize, PGCursorSize, QImage::Format_ARGB32);
    for (int y = 0; y < PGCursorSize; ++y)
        for (int x = 0; x < PGCursorSize; ++x)
            image.setPixel(x, y,
                           Planes.ShowsScreen(x, y) ? 0x00000000u
                           : Planes.IsWhite(x, y)   ? 0xFFFFFFFFu
                                                    : 0xFF000000u);
    return QCursor(QPixmap::fromImage(image), Planes.HotX, Planes.HotY);
}

} // namespace

const TPGCursorPlanes& PGCursorPlanes(TPGCursorId Id) {
    return Planes[Slot(Id)];
}

const QCursor& PGCursor(TPGCursorId Id) {
    Q_ASSERT(QCoreApplication::instance() &&
             QThread::currentThread() == QCoreApplication::instance()->thread());
    std::optional<QCursor>& cursor = Cursors[Slot(Id)];
    if (!cursor)
        cursor = MakeCursor(Planes[Slot(Id)]);
    return *cursor;
}

void ReleasePGCursors() {
    for (auto& cursor : Cursors)
        cursor.reset();
}
