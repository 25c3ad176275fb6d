#include "app/userdialogs.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QRegularExpression>

namespace {

// "(*.png)" → "png"; empty when the filter does not name one extension.
QString SuffixOfFilter(const QString& filter)
{
    static const QRegularExpression pattern(QStringLiteral(R"(\(\*\.(\w+)\))"));
    return pattern.match(filter).captured(1);
}

}  // namespace

QString CQtUserDialogs::ChooseFolder(QWidget* owner, const QString& caption)
{
    const QString folder = QFileDialog::getExistingDirectory(owner, caption, m_lastFolder);
    if (!folder.isEmpty()) m_lastFolder = folder;
    return folder;
}

QString CQtUserDialogs::OpenFile(QWidget* owner, const QString& caption, const QString& filter)
{
    const QString file = QFileDialog::getOpenFileName(owner, caption, m_lastFolder, filter);
    if (!file.isEmpty()) m_lastFolder = QFileInfo(file).absolutePath();
    return file;
}

QString CQtUserDialogs::SaveFile(QWidget* owner, const SaveFileRequest& request, QString* chosenFilter)
{
    QFileDialog dialog(owner, request.caption);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilters(request.filters);
    dialog.selectNameFilter(request.filters.value(request.selectedFilter));
    dialog.setDefaultSuffix(request.defaultSuffix);
    if (!m_lastFolder.isEmpty()) dialog.setDirectory(m_lastFolder);
    // A name typed without an extension takes the one of the file type chosen in the dialog.
    QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog](const QString& filter) {
        const QString suffix = SuffixOfFilter(filter);
        if (!suffix.isEmpty()) dialog.setDefaultSuffix(suffix);
    });
    dialog.selectFile(request.initialName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    if (chosenFilter) *chosenFilter = dialog.selectedNameFilter();
    const QString file = dialog.selectedFiles().constFirst();
    m_lastFolder = QFileInfo(file).absolutePath();
    return file;
}

void CQtUserDialogs::Inform(QWidget* owner, const QString& caption, const QString& text)
{
    QMessageBox box(QMessageBox::NoIcon, caption, text, QMessageBox::Ok, owner);
    box.exec();
}
