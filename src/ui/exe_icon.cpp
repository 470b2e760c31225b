#include "ui/exe_icon.h"

#include <QBuffer>
#include <QFileInfo>
#include <QImageReader>
#include <QImageWriter>
#include <QSaveFile>

#include "appcore/pe_icon.h"

namespace ui {
namespace {

constexpr int kPreviewSize = 32;
// Larger files are not pictures anyone means as a disc icon, and decoding
// them could take the window's memory.
constexpr qint64 kMaxPictureFileBytes = 64LL << 20;
constexpr int kMaxPictureSide = 8192;

QImage Preview(const QImage& image) {
  if (image.width() == kPreviewSize && image.height() == kPreviewSize) return image;
  return image.scaled(kPreviewSize, kPreviewSize, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

// The picture of an icon reader closest to 32 x 32.
QImage ClosestInReader(QImageReader& reader) {
  QImage best;
  int bestDistance = 0;
  const int count = std::max(reader.imageCount(), 1);
  for (int i = 0; i < count && i < 256; ++i) {
    if (i > 0 && !reader.jumpToImage(i)) break;
    QImage image = reader.read();
    if (image.isNull()) continue;
    const int d = std::abs(image.width() - kPreviewSize) + std::abs(image.height() - kPreviewSize);
    if (best.isNull() || d < bestDistance) {
      best = std::move(image);
      bestDistance = d;
    }
  }
  return best;
}

bool SafeSize(QImageReader& reader) {
  const QSize size = reader.size();
  return !size.isValid() || (size.width() <= kMaxPictureSide && size.height() <= kMaxPictureSide);
}

}  // namespace

IconLoad FirstIconOfExecutable(const QString& path, QImage& icon, QString& error) {
  icon = QImage();
  error.clear();
  const appcore::PeIconGroup group = appcore::FirstIconGroupOfFile(path.toStdString());
  if (group.Status != appcore::PeIconStatus::Ok) {
    error = QString::fromStdString(group.Error);
    return group.Status == appcore::PeIconStatus::NoIcon ? IconLoad::NoIcon : IconLoad::NotAnIcon;
  }
  // Best first, then the others: a picture Qt cannot decode is passed over.
  std::vector<appcore::PeIconImage> order = group.Images;
  const int best = appcore::ClosestIcon(order, kPreviewSize);
  if (best > 0) std::swap(order[0], order[static_cast<std::size_t>(best)]);
  for (const auto& picture : order) {
    QImage image;
    if (picture.IsPng()) {
      image.loadFromData(picture.Data.data(), static_cast<int>(picture.Data.size()), "PNG");
    } else {
      const std::vector<std::uint8_t> ico = appcore::BuildIcoFile({picture});
      QByteArray bytes(reinterpret_cast<const char*>(ico.data()), static_cast<qsizetype>(ico.size()));
      QBuffer buffer(&bytes);
      buffer.open(QIODevice::ReadOnly);
      QImageReader reader(&buffer, "ico");
      image = reader.read();
    }
    if (!image.isNull()) {
      icon = Preview(image);
      return IconLoad::Ok;
    }
  }
  error = QStringLiteral("The icon pictures of the file cannot be read.");
  return IconLoad::NotAnIcon;
}

IconLoad LoadIconFile(const QString& path, QImage& icon, QString& error) {
  icon = QImage();
  error.clear();
  const QFileInfo info(path);
  if (!info.isFile()) {
    error = QStringLiteral("The file does not exist: %1").arg(path);
    return IconLoad::NotAnIcon;
  }
  if (info.size() > kMaxPictureFileBytes) {
    error = QStringLiteral("The file is too large for an icon: %1").arg(path);
    return IconLoad::NotAnIcon;
  }
  const QString suffix = info.suffix();
  const bool asIcon = suffix == QLatin1String("ico") || suffix == QLatin1String("icon");
  QImageReader reader(path, asIcon ? QByteArray("ico") : QByteArray());
  if (!asIcon) reader.setDecideFormatFromContent(true);
  if (!SafeSize(reader)) {
    error = QStringLiteral("The picture is too large for an icon: %1").arg(path);
    return IconLoad::NotAnIcon;
  }
  const QImage image = asIcon ? ClosestInReader(reader) : reader.read();
  if (image.isNull()) {
    error = asIcon ? QStringLiteral("The file is not a valid icon: %1").arg(path)
                   : QStringLiteral("The file is not a picture that can be read: %1").arg(path);
    return IconLoad::NotAnIcon;
  }
  icon = Preview(image);
  return IconLoad::Ok;
}

bool SaveAsIco(const QImage& image, const QString& path, QString& error) {
  error.clear();
  if (image.isNull()) {
    error = QStringLiteral("There is no icon to save.");
    return false;
  }
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly)) {
    error = QStringLiteral("Cannot create %1: %2").arg(path, file.errorString());
    return false;
  }
  QImageWriter writer(&file, "ico");
  if (!writer.write(Preview(image).convertToFormat(QImage::Format_ARGB32))) {
    error = QStringLiteral("Cannot write the icon %1: %2").arg(path, writer.errorString());
    file.cancelWriting();
    return false;
  }
  if (!file.commit()) {
    error = QStringLiteral("Cannot write the icon %1: %2").arg(path, file.errorString());
    return false;
  }
  return true;
}

}  // namespace ui
