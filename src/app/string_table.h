#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>

// Run-time texts addressed by string id (IDS_2, IDS_231, ...). The Polish text is the source; the English
// one comes from the installed translator, keyed by the id so that equal Polish texts can differ in English.
// Ids match without regard to letter case; an unknown id gives an empty text.
QString idsText(QStringView id);

// Every id of the table, in order (lets tests check that each one has its English text).
QStringList stringIds();
