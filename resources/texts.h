// The program's German texts, exactly as the user sees and hears them.
#pragma once

inline constexpr const char* kProgramVersionSuffix = " - Quennvoldar V1.44";

// Status lines (each one is also spoken)
inline constexpr const char* kTextLoadingConfig = "Lade Konfigurationsdatei...";
inline constexpr const char* kTextConnecting = "Verbinde mit Update-Server...";
inline constexpr const char* kTextBuildingList = "Erstelle Downloadliste...";
inline constexpr const char* kTextDownloading = "Aktualisierung wird heruntergeladen...";
inline constexpr const char* kTextDownloaded = "Aktualisierung wurde heruntergeladen";
inline constexpr const char* kTextClosingMainProgram = "Beende Hauptprogramm...";
inline constexpr const char* kTextExtracting = "Entpacke Archiv...";
inline constexpr const char* kTextVerifying = "Neue Daten werden geprüft...";
inline constexpr const char* kTextCopying = "Neue Daten werden kopiert...";
// Spoken as the window goes to the notification area: how it comes back.
inline constexpr const char* kTextToTray =
    "Das Fenster wird in den Infobereich verschoben. Sie holen es zurück, indem Sie mit "
    "Windows+B in den Infobereich wechseln, das Symbol des Updaters wählen und die Eingabetaste "
    "drücken.";
// All of them: the window is laid out once for the tallest.
inline constexpr const char* kStatusTexts[] = {
    kTextLoadingConfig,      kTextConnecting, kTextBuildingList, kTextDownloading, kTextDownloaded,
    kTextClosingMainProgram, kTextExtracting, kTextVerifying,    kTextCopying,
};

// Captions and tray hints
inline constexpr const char* kCaptionCancel = "&Abbrechen";
inline constexpr const char* kCaptionMinimize = "&Minimieren";
inline constexpr const char* kCaptionQuit = "&Beenden";
inline constexpr const char* kCaptionOpen = "Ö&ffnen";
inline constexpr const char* kCaptionInformation = "Informationen";
inline constexpr const char* kCaptionConfirm = "Bestätigen";
inline constexpr const char* kCaptionYes = "&Ja";
inline constexpr const char* kCaptionNo = "&Nein";
inline constexpr const char* kHintLade = "%s (Lade: %d %%)";
inline constexpr const char* kHintPruefe = "%s (Prüfe: %d %%)";
inline constexpr const char* kHintKopiere = "%s (Kopiere: %d %%)";

// Configuration
inline constexpr const char* kMsgOnlyFromMainProgram =
    "Der Updater darf nur vom Hauptprogramm gestartet werden!";
inline constexpr const char* kMsgConfigNotLoaded =
    "Die Konfigurationsdatei konnte nicht geladen werden!";

// Outcome
inline constexpr const char* kMsgNotUpdated =
    "Die Aktualisierung von \"%s\" wurde nicht abgeschlossen!\r\n"
    "Sie können auch folgende Homepage besuchen: ";
inline constexpr const char* kMsgUpdated =
    "Die Aktualisierung von \"%s\" wurde erfolgreich abgeschlossen!";
inline constexpr const char* kMsgAlreadyCurrent = "\"%s\" ist bereits aktuell!";
inline constexpr const char* kMsgError =
    "Ein Fehler trat bei der Aktualisierung von \"%s\" auf!\r\n"
    "Die Aktualisierung konnte nicht abgeschlossen werden.\r\n"
    "Bitte stellen Sie sicher, dass Sie Administratorrechte besitzen.\r\n"
    "Tritt der Fehler weiterhin auf, besuchen Sie bitte folgende Homepage: ";
inline constexpr const char* kQuestionStartProgram = "Soll das Programm gestartet werden?";

// Discovery
inline constexpr const char* kMsgDownloadFolder =
    "Der Download-Ordner konnte nicht angelegt werden!";
inline constexpr const char* kQuestionNoAdmin =
    "Der Benutzer \"%s\" hat keine Administratorrechte!\r\n"
    "Ohne Administratorrechte kann das Update nicht durchgeführt werden.\r\n"
    "Möchten Sie trotzdem fortfahren?";
inline constexpr const char* kQuestionOffline =
    "Es besteht keine Verbindung mit dem Internet!\r\n"
    "Ohne Internetverbindung kann das Update nicht durchgeführt werden.\r\n"
    "Möchten Sie trotzdem fortfahren?";
inline constexpr const char* kMsgNoConnection =
    "Es konnte keine Verbindung zum Server hergestellt werden!";
inline constexpr const char* kMsgWalkFailed =
    "Es ist ein Fehler beim Durchsuchen des Servers aufgetreten!";
inline constexpr const char* kMsgDownloadFolderNotOwn =
    "Der Download-Ordner \"%s\" gehört einem anderen Benutzer oder ist für andere "
    "beschreibbar!\r\n"
    "Aus Sicherheitsgründen wird er nicht verwendet.";

// Signed releases: every message ends the run before anything is installed.
inline constexpr const char* kMsgReleaseMissing =
    "Auf dem Update-Server fehlt die signierte Freigabeliste!\r\n"
    "Die Aktualisierung wurde aus Sicherheitsgründen abgebrochen.";
inline constexpr const char* kMsgReleaseNotSigned =
    "Die Freigabeliste des Update-Servers ist nicht vom Hersteller signiert!\r\n"
    "Die Aktualisierung wurde aus Sicherheitsgründen abgebrochen.";
inline constexpr const char* kMsgReleaseForOther =
    "Die Freigabeliste des Update-Servers gehört nicht zu dieser Aktualisierung!\r\n"
    "Die Aktualisierung wurde aus Sicherheitsgründen abgebrochen.";
inline constexpr const char* kMsgReleaseExpired =
    "Die Freigabeliste des Update-Servers ist abgelaufen!\r\n"
    "Die Aktualisierung wurde aus Sicherheitsgründen abgebrochen.";
inline constexpr const char* kMsgReleaseOlder =
    "Der Update-Server bietet eine ältere Freigabe an als die bereits angenommene!\r\n"
    "Die Aktualisierung wurde aus Sicherheitsgründen abgebrochen.";
inline constexpr const char* kMsgFileNotReleased =
    "Die Datei \"%s\" ist in der Freigabeliste des Update-Servers nicht enthalten!\r\n"
    "Die Aktualisierung wurde aus Sicherheitsgründen abgebrochen.";
inline constexpr const char* kMsgFileNotAuthentic =
    "Die Datei \"%s\" stimmt nicht mit der Freigabeliste des Update-Servers überein!\r\n"
    "Die Aktualisierung wurde aus Sicherheitsgründen abgebrochen.";

inline constexpr const char* kMsgFileWithheld =
    "Die Datei \"%s\" der Freigabeliste fehlt auf dem Update-Server!\r\n"
    "Die Aktualisierung wurde aus Sicherheitsgründen abgebrochen.";
inline constexpr const char* kMsgReleaseFloorNotOwn =
    "Der Speicherort der angenommenen Freigaben \"%s\" gehört einem anderen Benutzer oder ist "
    "für andere beschreibbar!\r\n"
    "Die Aktualisierung wurde aus Sicherheitsgründen abgebrochen.";
inline constexpr const char* kMsgReleaseFloorFailed =
    "Die angenommene Freigabe kann nicht in \"%s\" gespeichert werden!\r\n"
    "Ohne sie ist kein Schutz vor älteren Freigaben möglich.";

// Download
inline constexpr const char* kMsgDownloadFailed =
    "Es ist ein Fehler beim Herunterladen der Aktualisierung aufgetreten!";

// Installation
inline constexpr const char* kMsgExtractFailed =
    "Beim Entpacken der Daten ist ein Fehler aufgetreten!";
inline constexpr const char* kMsgVerifyFailed =
    "Beim Prüfen der Daten ist ein Fehler aufgetreten!\r\n"
    "Bitte stellen Sie sicher, dass Sie Administratorrechte besitzen.";
inline constexpr const char* kMsgCopyFailed =
    "Beim Kopieren der Daten ist ein Fehler aufgetreten!\r\n"
    "Bitte stellen Sie sicher, dass Sie Administratorrechte besitzen.";
inline constexpr const char* kMsgCopyFileFailed =
    "Beim Kopieren der Datei \"%S\" nach \"%s\" ist ein Fehler aufgetreten!\r\n"
    "Bitte stellen Sie sicher, dass Sie Administratorrechte besitzen.";
inline constexpr const char* kQuestionCloseMainProgram =
    "\"%s\" muss beendet werden, um die Aktualisierung fortsetzen zu können!\r\n"
    "Soll das programm geschlossen werden?";

// Files and names the updater knows
// Executable names without the platform's suffix (kExeSuffix, platform/paths.h)
inline constexpr const char* kFirstCopyName = "Quennvoldar";
inline constexpr const char* kSecondCopyName = "Quennvoldar2";
inline constexpr const char* kNvdaLibraryName = "nvdaControllerClient32.dll";
inline constexpr const char* kUpdaterServerFolder1 = "/Quennvoldar/";
inline constexpr const char* kUpdaterServerFolder2 = "/vask/updates/Quennvoldar/";
inline constexpr const char* kSelfUpdatePath = "/vask/updates/Quennvoldar/";
// The signed list of what a server folder releases, at the folder's top.
inline constexpr const char* kReleaseManifestName = "quennvoldar-release.txt";
