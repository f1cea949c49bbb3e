// Names, server paths, timer ids, limits and messages of the update client and the start-up
// hand-over, in one place.
#pragma once

// The program file and its updater copy, with the platform's executable suffix.
#ifdef _WIN32
#define PELLISTER_EXE_SUFFIX ".exe"
#else
#define PELLISTER_EXE_SUFFIX ""
#endif
inline constexpr char kProgramFileName[] = "Corvana" PELLISTER_EXE_SUFFIX;
inline constexpr char kUpdaterFileName[] = "Corvanaupdate" PELLISTER_EXE_SUFFIX;

// Files on the vendor's web server, relative to its base address.
inline constexpr char kVersionFilePath[] = "update/client_program/english/version.txt";
inline constexpr char kPackagePath[] = "update/client_program/english/corvana.bin";

// The release's Ed25519 public key (raw, 32 bytes in hexadecimal), against which the version
// file's signature is checked (updaterecord.h). Its private half is kept off the repository by
// whoever publishes releases.
inline constexpr char kReleasePublicKeyHex[] = "733a145eaa0fca507846a37eefe4eda7880595b9c37d4a8ee60ced254994b485";

// Local copies in the program folder. The package becomes kUpdaterFileName only once it is
// complete and verified.
inline constexpr char kLocalVersionFile[] = "version_pellister.txt";
inline constexpr char kLocalPackageFile[] = "corvanaupdate_pellister" PELLISTER_EXE_SUFFIX;

// The update dialog: resource id, controls and timers.
inline constexpr int IDD_UPDATE_DIALOG = 111;
inline constexpr int IDC_UPDATE_STATUS = 1051;
inline constexpr int IDC_UPDATE_PROGRESS = 1017;
inline constexpr int IDC_UPDATE_OK = 1;
inline constexpr int IDC_UPDATE_CANCEL = 2;
inline constexpr int kEndTimerId = 1000;
inline constexpr int kEndTimerMs = 100;
inline constexpr int kRefreshTimerId = 1100;
inline constexpr int kRefreshTimerMs = 1;

// A transfer that receives nothing for this long has failed.
inline constexpr int kDefaultStallMs = 60000;
// Setting that shortens it (milliseconds), for tests.
inline constexpr char kSettingUpdateStallMs[] = "updateStallMs";
// A transfer that has not ended after this long has failed, however steadily data comes: the
// connection test and the version file, and the package.
inline constexpr int kDefaultSmallFileDeadlineMs = 120000;
inline constexpr int kDefaultPackageDeadlineMs = 30 * 60000;
// Setting that shortens both (milliseconds), for tests.
inline constexpr char kSettingUpdateDeadlineMs[] = "updateDeadlineMs";
// Redirects followed within one transfer (to the same scheme, host and port only).
inline constexpr int kMaxRedirects = 5;

// The hand-over's delete and replace loops: attempts and the pause between them.
inline constexpr int kDeleteAttempts = 100;
inline constexpr int kDeleteRetryMs = 100;

// Texts of the update client.
inline constexpr char kStatusConnecting[] = "Try to connect the internet...";
inline constexpr char kStatusNotConnected[] = "The internet is not connected.\nEnding the update.";
inline constexpr char kStatusConnected[] = "The internet is connected.\nChecking the version info.";
inline constexpr char kStatusDownloading[] = "Downloading the update file...";
inline constexpr char kMsgCannotCheck[] = "Unable to check the update info.";
inline constexpr char kMsgAskUpdate[] = "There is an update info on the server.\nDo you want to update?";
inline constexpr char kMsgDownloadFailed[] = "Fail to download the update file.";
inline constexpr char kMsgMostRecent[] = "The current program is the most recent version.";
// The framework's own message for a file that cannot be read (%1: the file).
inline constexpr char kMsgFileReadError[] = "An unexpected error occurred while reading %1.";
inline constexpr char kMsgRestarting[] = "Download of update file completed.\n program is restarting.";
inline constexpr char kMsgProcessFailed[] = "Failed to create process.";
inline constexpr char kMsgUpdateError[] = "An error occured in updating.";
