#pragma once
// The name handling and placement of the preview file dialogs, as plain
// functions.

#include <QPoint>
#include <QRect>
#include <QSize>

#include <optional>
#include <string>

// A name without extension gets "." and Extension; any other name, or an
// empty Extension, leaves it as it is.
std::string WithFilterExtension(const std::string& FileName, const std::string& Extension);

// The file-name field after the user picked the type with Extension, for
// the field's Text in the dialog's Folder: the name's extension replaced
// (or added), and a name in Folder kept without its folder. Nothing for an
// empty field, a folder, or an empty Extension.
std::optional<std::string> FileNameForType(const std::string& Text, const std::string& Folder,
                                           const std::string& Extension);

// Top left of a Window-sized dialog on Screen: centred across, a third of
// the free height down; never beyond its left or top edge.
QPoint CentredDialogPosition(const QRect& Screen, const QSize& Window);
