#include "ui/FolderLists.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QStorageInfo>
#include <QStyle>

#include <algorithm>
#include <cerrno>

#include "platform/Error.h"

namespace ostrel::ui {

namespace {

constexpr int kPathRole = Qt::UserRole;

// Kernel and runtime file systems are not places where a user keeps documents.
bool isUserVolume(const QStorageInfo& volume) {
    const QString root = volume.rootPath();
    for (const char* hidden : {"/proc", "/sys", "/dev", "/run", "/snap"}) {
        if (root == hidden || root.startsWith(QString(hidden) + "/")) return false;
    }
    return volume.isValid() && volume.isReady();
}

}  // namespace

DriveListBox::DriveListBox(QWidget* parent) : QComboBox(parent) {
    QStringList roots;
    for (const QStorageInfo& volume : QStorageInfo::mountedVolumes()) {
        if (isUserVolume(volume) && !roots.contains(volume.rootPath())) roots << volume.rootPath();
    }
    if (!roots.contains("/")) roots << "/";
    std::sort(roots.begin(), roots.end());
    const QIcon icon = QApplication::style()->standardIcon(QStyle::SP_DriveHDIcon);
    for (const QString& root : roots) addItem(icon, root, root);
}

QString DriveListBox::drive() const {
    return currentData().toString();
}

void DriveListBox::selectDriveOf(const QString& path) {
    const QString root = QStorageInfo(path).rootPath();
    const int index = findData(root);
    const QSignalBlocker quiet(this);
    setCurrentIndex(index >= 0 ? index : findData("/"));
}

DirListBox::DirListBox(QWidget* parent) : QListWidget(parent) {
    connect(this, &QListWidget::itemActivated, this,
            [this](QListWidgetItem* item) { emit pathRequested(item->data(kPathRole).toString()); });
}

void DirListBox::setPath(const QString& path) {
    const QString wanted = QDir(path).absolutePath();
    const QFileInfo info(wanted);
    if (!info.isDir() || !QDir(wanted).isReadable()) {
        const int code = info.exists() ? (info.isDir() ? EACCES : ENOTDIR) : ENOENT;
        throw Error(errors::kFileBase + code, "Dir1",
                    "The folder \"" + wanted.toStdString() + "\" cannot be read");
    }
    path_ = wanted;
    fill();
    emit Change();
}

void DirListBox::fill() {
    clear();
    const QIcon open = style()->standardIcon(QStyle::SP_DirOpenIcon);
    const QIcon closed = style()->standardIcon(QStyle::SP_DirClosedIcon);
    QStringList chain;
    for (QDir dir(path_);;) {
        chain.prepend(dir.absolutePath());
        if (!dir.cdUp()) break;
    }
    int depth = 0;
    for (const QString& folder : chain) {
        const QString name = depth == 0 ? folder : QFileInfo(folder).fileName();
        auto* item = new QListWidgetItem(open, QString(depth * 2, ' ') + name, this);
        item->setData(kPathRole, folder);
        ++depth;
    }
    setCurrentRow(count() - 1);
    const QStringList children =
        QDir(path_).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase);
    for (const QString& child : children) {
        auto* item = new QListWidgetItem(closed, QString(depth * 2, ' ') + child, this);
        item->setData(kPathRole, QDir(path_).filePath(child));
    }
}

}  // namespace ostrel::ui
