#pragma once

#include <QComboBox>
#include <QListWidget>
#include <QString>

namespace ostrel::ui {

// The mounted file systems' roots, one entry each; the current one is the drive.
class DriveListBox : public QComboBox {
    Q_OBJECT
public:
    explicit DriveListBox(QWidget* parent = nullptr);
    QString drive() const;
    // Selects the file system that holds a path (without announcing a change).
    void selectDriveOf(const QString& path);
};

// A folder list: the chain of folders down to the current one, then its sub-folders. Activating an entry
// (double click, Enter) asks for that folder; setPath makes it current and announces the change.
class DirListBox : public QListWidget {
    Q_OBJECT
public:
    explicit DirListBox(QWidget* parent = nullptr);
    QString path() const { return path_; }
    // Raises an Error, keeping the old path, when the folder cannot be read.
    void setPath(const QString& path);

signals:
    void Change();
    void pathRequested(const QString& path);

private:
    void fill();
    QString path_;
};

}  // namespace ostrel::ui
