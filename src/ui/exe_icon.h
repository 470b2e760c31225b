#pragma once
// Disc icons for the autorun file: the first icon of an executable, an icon
// or picture file, and the 32 x 32 .ico written beside autorun.inf. Files
// are untrusted: a damaged or foreign file gives an error text, never a crash.
#include <QImage>
#include <QString>

namespace ui {

enum class IconLoad { Ok, NoIcon, NotAnIcon };

// The picture of the executable's first icon group closest to 32 x 32.
// NoIcon: a valid executable without icons; NotAnIcon: not an executable, or
// its icon resources are damaged. `error` says which, for the person.
IconLoad FirstIconOfExecutable(const QString& path, QImage& icon, QString& error);

// An .ico or .icon file (lower-case extension) read as an icon, the picture
// closest to 32 x 32; any other file read as a picture (.bmp and the other
// formats Qt reads) and stretched to 32 x 32.
IconLoad LoadIconFile(const QString& path, QImage& icon, QString& error);

// The image stretched to 32 x 32 and written as a one-picture .ico. The file
// is replaced only when the whole icon was written.
bool SaveAsIco(const QImage& image, const QString& path, QString& error);

}  // namespace ui
