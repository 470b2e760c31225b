#pragma once
// Skins are Qt style sheets in ".mskn" files. The program ships some in its
// data folder; the person's own (imported) ones live in the Skins folder of
// the program folder, which wins when both hold the same name.
#include <QString>
#include <QStringList>

namespace ui {

inline constexpr const char* kNoSkin = "None";
inline constexpr const char* kSkinExtension = ".mskn";
// A skin is a style sheet; anything larger is not one.
inline constexpr qint64 kMaxSkinBytes = 1024 * 1024;

class SkinStore {
 public:
  // Either folder may be empty or missing.
  SkinStore(QString userFolder, QString shippedFolder);

  const QString& UserFolder() const { return FUserFolder; }
  const QString& ShippedFolder() const { return FShippedFolder; }

  // "None" first, then every skin of both folders once, sorted by name.
  QStringList Names() const;
  // The file a name stands for (the person's own first); empty when none.
  QString FileOf(const QString& name) const;
  bool IsShipped(const QString& name) const;

  // Each returns an error text for the person, empty on success. Nothing is
  // ever copied over an existing file.
  QString Import(const QString& sourceFile) const;
  QString Export(const QString& name, const QString& targetFile) const;
  QString Delete(const QString& name) const;

 private:
  QString FUserFolder;
  QString FShippedFolder;
};

// Reads a skin file into `styleSheet`; returns an error text, empty on success.
QString ReadSkin(const QString& file, QString& styleSheet);
// Applies the skin to the whole application; "None" (an empty file name)
// removes any skin.
QString ApplySkinFile(const QString& file);

}  // namespace ui
