#include "ui/skins.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>

// The arrows the shipped skins draw with live in this library's resources,
// which a static library has to register itself.
static void InitSkinArt() { Q_INIT_RESOURCE(skin_art); }

namespace ui {

namespace {

QStringList SkinNamesIn(const QString& folder) {
  QStringList names;
  if (folder.isEmpty()) return names;
  const QDir dir(folder);
  const QStringList files =
      dir.entryList(QStringList{QStringLiteral("*") + kSkinExtension}, QDir::Files | QDir::Readable, QDir::Name);
  const qsizetype extension = qsizetype(qstrlen(kSkinExtension));
  for (const QString& file : files)
    if (file.size() > extension) names << file.left(file.size() - extension);
  return names;
}

QString PathIn(const QString& folder, const QString& name) {
  return folder.isEmpty() ? QString() : QDir(folder).filePath(name + kSkinExtension);
}

// A name a person could not have meant as a skin: empty, "None" (the entry
// for no skin), or one that would leave the folder.
bool UsableName(const QString& name) {
  return !name.isEmpty() && name != QLatin1String(kNoSkin) && !name.contains(QLatin1Char('/')) &&
         !name.contains(QLatin1Char('\\')) && name != QLatin1String(".") && name != QLatin1String("..");
}

}  // namespace

SkinStore::SkinStore(QString userFolder, QString shippedFolder)
    : FUserFolder(std::move(userFolder)), FShippedFolder(std::move(shippedFolder)) {}

QStringList SkinStore::Names() const {
  QStringList all = SkinNamesIn(FUserFolder) + SkinNamesIn(FShippedFolder);
  all.removeDuplicates();
  all.removeAll(QLatin1String(kNoSkin));
  all.sort(Qt::CaseInsensitive);
  all.prepend(QLatin1String(kNoSkin));
  return all;
}

QString SkinStore::FileOf(const QString& name) const {
  if (!UsableName(name)) return {};
  for (const QString& folder : {FUserFolder, FShippedFolder}) {
    const QString path = PathIn(folder, name);
    if (!path.isEmpty() && QFileInfo(path).isFile()) return path;
  }
  return {};
}

bool SkinStore::IsShipped(const QString& name) const {
  if (!UsableName(name)) return false;
  const QString user = PathIn(FUserFolder, name);
  if (!user.isEmpty() && QFileInfo(user).isFile()) return false;
  const QString shipped = PathIn(FShippedFolder, name);
  return !shipped.isEmpty() && QFileInfo(shipped).isFile();
}

QString SkinStore::Import(const QString& sourceFile) const {
  const QFileInfo source(sourceFile);
  if (!sourceFile.endsWith(QLatin1String(kSkinExtension), Qt::CaseInsensitive))
    return QStringLiteral("\"%1\" is not a skin file (*.mskn).").arg(sourceFile);
  const QString name = source.fileName().left(source.fileName().size() - qsizetype(qstrlen(kSkinExtension)));
  if (!UsableName(name)) return QStringLiteral("\"%1\" is not a usable skin name.").arg(name);
  QString sheet;
  if (QString error = ReadSkin(sourceFile, sheet); !error.isEmpty()) return error;
  if (FUserFolder.isEmpty() || !QDir().mkpath(FUserFolder))
    return QStringLiteral("Can not create the skin folder \"%1\".").arg(FUserFolder);
  const QString target = PathIn(FUserFolder, name);
  if (QFileInfo::exists(target) || IsShipped(name))
    return QStringLiteral("A skin named \"%1\" exists already.").arg(name);
  if (!QFile::copy(sourceFile, target)) return QStringLiteral("Can not copy \"%1\" to \"%2\".").arg(sourceFile, target);
  return {};
}

QString SkinStore::Export(const QString& name, const QString& targetFile) const {
  const QString file = FileOf(name);
  if (file.isEmpty()) return QStringLiteral("There is no skin named \"%1\".").arg(name);
  if (QFileInfo::exists(targetFile)) return QStringLiteral("\"%1\" exists already.").arg(targetFile);
  if (!QFile::copy(file, targetFile)) return QStringLiteral("Can not copy the skin to \"%1\".").arg(targetFile);
  return {};
}

QString SkinStore::Delete(const QString& name) const {
  if (!UsableName(name)) return QStringLiteral("There is no skin named \"%1\".").arg(name);
  const QString user = PathIn(FUserFolder, name);
  if (!user.isEmpty() && QFileInfo(user).isFile()) {
    if (!QFile::remove(user)) return QStringLiteral("Can not delete \"%1\".").arg(user);
    return {};
  }
  if (IsShipped(name)) return QStringLiteral("The skin \"%1\" comes with the program and can not be deleted.").arg(name);
  return QStringLiteral("There is no skin named \"%1\".").arg(name);
}

QString ReadSkin(const QString& file, QString& styleSheet) {
  QFile in(file);
  if (!in.open(QIODevice::ReadOnly)) return QStringLiteral("Can not open the skin \"%1\".").arg(file);
  if (in.size() > kMaxSkinBytes) return QStringLiteral("\"%1\" is too large to be a skin.").arg(file);
  const QByteArray bytes = in.read(kMaxSkinBytes + 1);
  if (bytes.size() > kMaxSkinBytes) return QStringLiteral("\"%1\" is too large to be a skin.").arg(file);
  if (bytes.contains('\0')) return QStringLiteral("\"%1\" is not a skin file.").arg(file);
  styleSheet = QString::fromUtf8(bytes);
  return {};
}

QString ApplySkinFile(const QString& file) {
  static const bool registered = (InitSkinArt(), true);
  (void)registered;
  QString sheet;
  if (!file.isEmpty())
    if (QString error = ReadSkin(file, sheet); !error.isEmpty()) return error;
  qApp->setStyleSheet(sheet);
  return {};
}

}  // namespace ui
