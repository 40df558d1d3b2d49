// The product's facts that both programs use: what the installer writes, where, and what the
// uninstaller therefore removes. Registry paths are relative to the root named beside each.
#pragma once

namespace product {

// HKCU: the uninstall entry. HKLM: the application's own settings, removed with the product.
inline constexpr char kUninstallKey[] =
    "software\\microsoft\\windows\\currentversion\\uninstall\\Korvane";
inline constexpr char kApplicationKey[] = "software\\Korvane";
// The document type: HKCR\<extension> names the class key, HKCR\<class> describes it, and
// HKCU\<class> holds the installed path and version. The class text is also stored as a
// value, so its spelling is kept exactly.
inline constexpr char kDocumentExtension[] = ".Kvx";
inline constexpr char kDocumentClass[] = "Software\\KORVX";

// Files in the install folder.
inline constexpr char kUninstallerFile[] = "Uninstall.exe";
inline constexpr char kConfigFile[] = "Setup.ini";
inline constexpr char kManifestFile[] = "Setup.log";

}  // namespace product
