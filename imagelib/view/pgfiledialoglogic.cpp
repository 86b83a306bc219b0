#include "pgfiledialoglogic.h"

#include <algorithm>
#include <filesystem>

#include "formatregistry.h"

std::string WithFilterExtension(const std::string& FileName, const std::string& Extension) {
  if (FileName.empty() || Extension.empty() || !FileNameExtension(FileName).empty()) return FileName;
  return FileName + "." + Extension;
}

std::optional<std::string> FileNameForType(const std::string& Text, const std::string& Folder,
                                           const std::string& Extension) {
  if (Text.empty() || Extension.empty()) return std::nullopt;
  std::string folder = Folder;
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  std::string path = Text.front() == '/' ? Text : (folder == "/" ? "" : folder) + "/" + Text;
  std::error_code ec;
  if (std::filesystem::is_directory(path, ec)) return std::nullopt;
  const size_t slash = path.rfind('/');
  const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
  const size_t dot = path.rfind('.');
  path = (dot == std::string::npos || dot < nameStart ? path : path.substr(0, dot)) + "." + Extension;
  if (slash != std::string::npos && path.substr(0, slash) == (folder == "/" ? "" : folder))
    return path.substr(nameStart);
  return path;
}

QPoint CentredDialogPosition(const QRect& Screen, const QSize& Window) {
  const QPoint centred =
      Screen.topLeft() + QPoint((Screen.width() - Window.width()) / 2, (Screen.height() - Window.height()) / 3);
  // A window wider or taller than the screen keeps its title bar and left edge on it.
  return QPoint(std::max(centred.x(), Screen.left()), std::max(centred.y(), Screen.top()));
}
