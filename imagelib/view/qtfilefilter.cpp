#include "qtfilefilter.h"

QStringList QtNameFilters(const std::string& Filter) {
  const QStringList parts = QString::fromStdString(Filter).split('|');
  QStringList filters;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    QString patterns = parts[i + 1];
    patterns.replace(';', ' ');
    filters << QString("%1 (%2)").arg(parts[i], patterns.simplified());
  }
  return filters;
}
