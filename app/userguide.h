#pragma once
// The user guide: the HTML page installed with the program, opened in the system's browser.
#include <QString>

class CUserDialogs;
class QWidget;

// The guide's page for a program in programDir: the installed one (share/doc/varnel beside the
// program's bin folder), else the one of a build tree (docs/ beside app/); empty when neither
// exists.
QString UserGuidePath(const QString& programDir);

// Opens the guide with the desktop's handler for local web pages. Without a guide, or without a
// handler, says so in a message that names the page or where it should be.
void OpenUserGuide(QWidget* owner, CUserDialogs& dialogs, const QString& programDir);
