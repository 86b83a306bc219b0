#pragma once
// The library's dialog filters ("text|patterns|text|patterns") as the name
// filters of a QFileDialog.

#include <QStringList>

#include <string>

QStringList QtNameFilters(const std::string& Filter);
