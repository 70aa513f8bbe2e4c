#pragma once

// The program's fixed texts, shared by the windows that show them.

namespace pexo::gui::texts {

inline constexpr char kAppTitle[] = "Pexo"; // every message box caption; the end of the title
inline constexpr char kUntitled[] = "Untitled";
inline constexpr char kTitleSeparator[] = " - ";
inline constexpr char kReady[] = "Ready";

inline constexpr char kRegistryKey[] = "Oskel Products";
inline constexpr int kRecentFileCount = 4;

// The Open command's file dialog.
inline constexpr char kOpenTitle[] = "Open";
inline constexpr char kOpenFilters[] = "Pexo Files (*.lzh);;All Files (*.*)";

// Menu items, tool tips and status-bar prompts.
inline constexpr char kMenuFile[] = "&File";
inline constexpr char kMenuPort[] = "&Port";
inline constexpr char kMenuOption[] = "&Option";
inline constexpr char kMenuHelp[] = "&Help";
inline constexpr char kItemOpen[] = "&Open and Download...\tCtrl+O";
inline constexpr char kItemExit[] = "E&xit";
inline constexpr char kItemRs232c[] = "RS232C &Settings...(F3)";
inline constexpr char kItemParameter[] = "&Paramater Settings...(F4)";
inline constexpr char kItemStation[] = "Production &Station...(F6)";
inline constexpr char kItemAbout[] = "&About Pexo...";
inline constexpr char kItemDownload[] = "Download";
inline constexpr char kPromptOpen[] = "Open and Download(Ctrl+O)";
inline constexpr char kPromptDownload[] = "Download(F5)";
inline constexpr char kPromptRs232c[] = "RS232C Settings...(F3)";
inline constexpr char kPromptParameter[] = "Paramater Settings...(F4)";
inline constexpr char kPromptStation[] = "Flash device after device on several ports";
inline constexpr char kPromptAbout[] = "Display program information, version number and copyright";
inline constexpr char kPromptExit[] = "Quit the application";

// The About dialog.
inline constexpr char kAboutTitle[] = "About Pexo";
inline constexpr char kAboutName[] = "Pexo Downloader Win32";
inline constexpr char kAboutVersion[] = "Version 1.0C";
inline constexpr char kAboutCopyright[] = "Copyright (C) Oskel Products";

// A settings file that cannot be written would otherwise lose the operator's settings silently.
inline constexpr char kSettingsNotSaved[] = "The settings could not be saved to %1.";

} // namespace pexo::gui::texts
