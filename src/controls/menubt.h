// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QToolButton>

class QMenu;

// The file-choice button. Pressing it pops up the files of FolderPath that
// match the file pattern, sorted by name and listed afresh at every press,
// so that a file added while the program runs appears. Choosing one sets
// FilePath and raises FileChosen.
class MenuBT : public QToolButton
{
    Q_OBJECT
public:
    explicit MenuBT(QWidget *parent = nullptr);

    QString FolderPath() const { return m_folderPath; }
    void setFolderPath(const QString &folder) { m_folderPath = folder; }

    // "*.*" means every file, as it does on Windows.
    QString Pattern() const { return m_pattern; }
    void setPattern(const QString &pattern) { m_pattern = pattern; }

    // Prepares the menu for FolderPath. The entries themselves are listed at
    // each press.
    void BuildMenu();

    // Full path of the file chosen last: the folder, a separator, the name.
    QString FilePath() const { return m_filePath; }

    // The menu as it would pop up now; exposed for tests.
    QMenu *fileMenu() const { return m_menu; }
    // Lists the folder into the menu; runs before every popup.
    void refreshEntries();

signals:
    void FileChosen();

private:
    void choose(const QString &fileName);

    QMenu *m_menu = nullptr;
    QString m_folderPath;
    QString m_pattern = QStringLiteral("*.*");
    QString m_filePath;
};
