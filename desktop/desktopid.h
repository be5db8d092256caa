#pragma once
// The program's name on the desktop: the .desktop file, the AppStream
// component and the icons are installed under it.
inline constexpr char kDesktopId[] = "jp.tovanit.pelmora";
