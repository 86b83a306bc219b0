#include "quilleticon.h"

#include <QString>

QIcon QuilletIcon() {
  // The resource lives in a static library, whose unreferenced initialiser
  // the linker would drop.
  Q_INIT_RESOURCE(quillet);
  QIcon icon;
  for (const int size : {16, 32, 48, 64, 128, 256})
    icon.addFile(QStringLiteral(":/quillet/icons/quillet-%1.png").arg(size), QSize(size, size));
  return icon;
}
