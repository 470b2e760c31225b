#pragma once
// Every text the options window shows, side by side.
#include <QString>

namespace app::option_texts {

inline const QString kCaption = QStringLiteral("Option");
inline const QString kInformation = QStringLiteral("Information");

inline const QString kPageGeneral = QStringLiteral("&General");
inline const QString kPageBurning = QStringLiteral("&Burning");
inline const QString kPageSchedule = QStringLiteral("&Schedule");
inline const QString kPageSound = QStringLiteral("S&ound");
inline const QString kPageInterface = QStringLiteral("&Interface && Skins");

inline const QString kBackgroundLoadFailed =
    QStringLiteral("Can not open the background image. Please click Option to check it out.");
// OK names the file, so the person knows which one to fix.
inline const QString kBackgroundOkFailed = QStringLiteral("Can not open the background image \"%1\".");
inline const QString kSessionZero = QStringLiteral("Session to import; Zero means not to import any session");
inline const QString kSessionInvalid =
    QStringLiteral("\"%1\" is not a session number. Enter a number from 1 to 127, or -1 for the last session.");
inline const QString kDeleteSkin = QStringLiteral("Are you sure to delete the skin?");
inline const QString kNoLog = QStringLiteral("No available LOG yet.");
inline const QString kSoundFailed =
    QStringLiteral("Can not play the sound file. Please make sure the file is correct.");
inline const QString kAutostartFailed = QStringLiteral("Can not update the log-on entry: %1");
inline const QString kSaveFailed = QStringLiteral("Can not save the options: %1");

inline const QString kSoundFilter = QStringLiteral("*.mp3 ; *.wmv ; *.wav ; *.mid (*.mp3 *.wma *.wav *.mid)");
inline const QString kImageFilter = QStringLiteral("Bitmap (*.bmp);;Pictures (*.bmp *.png *.jpg *.jpeg)");
inline const QString kSkinFilter = QStringLiteral("Skin files (*.mskn)");
inline const QString kSelectColor = QStringLiteral("Select color");

}  // namespace app::option_texts
