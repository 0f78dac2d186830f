#include "browse_form.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStorageInfo>

#include <algorithm>

#include "firmware_core/file_probe.h"
#include "panels/ui_services.h"
#include "session/session.h"

namespace iox::firmware {

namespace {

constexpr int kPathRole = Qt::UserRole;

}  // namespace

// ---- construction ----------------------------------------------------------------------

BrowseForm::BrowseForm(QWidget* parent) : QDialog(parent)
{
    buildControls();
    Form_Load();
}

void BrowseForm::buildControls()
{
    setObjectName(QStringLiteral("BrowseForm"));
    setWindowTitle(QStringLiteral("Browse"));
    setFixedSize(ui::twips(6585), ui::twips(5910));
    ui::setFormColour(*this, ui::kWindowColour);

    auto place = [this](QWidget* widget, QRect where, qreal points) {
        widget->setParent(this);
        widget->setGeometry(where);
        widget->setFont(ui::designFont(points, true, false, ui::Face::Arial));
        return widget;
    };
    m_drive1 = new QComboBox;
    place(m_drive1, ui::twipsRect(360, 240, 2775, 360), 9.75);
    m_label2 = new QLabel(QStringLiteral("Search File:"));
    place(m_label2, ui::twipsRect(5040, 120, 1455, 255), 9.75);
    m_text1 = new QLineEdit(QStringLiteral("*.*"));
    place(m_text1, ui::twipsRect(5040, 360, 1335, 285), 9.75);
    m_label4 = new QLabel(QStringLiteral("Path"));
    place(m_label4, ui::twipsRect(360, 720, 6015, 255), 8.25);
    m_dir1 = new QListWidget;
    place(m_dir1, ui::twipsRect(360, 960, 6015, 1290), 8.25);
    m_label1 = new QLabel(QStringLiteral("Select File:"));
    place(m_label1, ui::twipsRect(360, 2640, 6015, 255), 8.25);
    m_file1 = new QListWidget;
    place(m_file1, ui::twipsRect(360, 2880, 6015, 1530), 9.75);
    m_command1 = new QPushButton(QStringLiteral("O.K"));
    place(m_command1, ui::twipsRect(360, 4680, 1215, 495), 9.75);
    m_command2 = new QPushButton(QStringLiteral("Cancel"));
    place(m_command2, ui::twipsRect(360, 5280, 1215, 495), 9.75);
    m_label3 = new QLabel(QStringLiteral("File Name:"));
    place(m_label3, ui::twipsRect(1680, 5160, 1575, 255), 9.75);
    m_text2 = new QLineEdit;
    place(m_text2, ui::twipsRect(1680, 5400, 4455, 360), 9.75);

    for (QWidget* widget : {static_cast<QWidget*>(m_label2), static_cast<QWidget*>(m_label1),
                            static_cast<QWidget*>(m_label3), static_cast<QWidget*>(m_command1),
                            static_cast<QWidget*>(m_command2)})
        ui::setBackground(*widget, ui::kWindowColour);
    ui::setBackground(*m_label4, ui::systemWindowColour());
    m_command1->setAutoDefault(false);
    m_command2->setAutoDefault(false);

    connect(m_drive1, &QComboBox::currentIndexChanged, this, &BrowseForm::Drive1_Change);
    connect(m_dir1, &QListWidget::itemActivated, this, &BrowseForm::Dir1_Activated);
    connect(m_file1, &QListWidget::itemClicked, this, &BrowseForm::File1_Click);
    // A file chosen with the keyboard counts as a click; a list refilled selects nothing.
    connect(m_file1, &QListWidget::itemSelectionChanged, this, [this] {
        const QList<QListWidgetItem*> chosen = m_file1->selectedItems();
        if (!chosen.isEmpty())
            File1_Click(chosen.front());
    });
    connect(m_file1, &QListWidget::itemDoubleClicked, this, &BrowseForm::File1_DblClick);
    connect(m_text1, &QLineEdit::textChanged, this, &BrowseForm::Text1_Change);
    connect(m_command1, &QPushButton::clicked, this, &BrowseForm::Command1_Click);
    connect(m_command2, &QPushButton::clicked, this, &BrowseForm::Command2_Click);
    m_file1->installEventFilter(this);
    m_text2->installEventFilter(this);
}

int BrowseForm::showModal(QWidget* parent)
{
    BrowseForm form(parent);
    return ui::services().runModal(form);
}

// ---- handlers --------------------------------------------------------------------------

void BrowseForm::Form_Load()
{
    move(ui::twips(4170), ui::twips(2715));
    // The lists start at the process's current drive and folder.
    fillDriveList();
    selectDriveOf(QDir::currentPath());
    setFolderPath(QDir::currentPath());
}

void BrowseForm::Drive1_Change(int index)
{
    const QString drive = m_drive1->itemData(index).toString();
    // Each drive keeps the folder last shown on it, at first the program's current folder
    // on its drive, else the drive's root.
    const QString folder = m_driveFolders.value(drive, drive);
    if (!drive.isEmpty() && QDir(folder).isReadable() && QDir::setCurrent(folder)) {
        setFolderPath(folder);
        return;
    }
    // A drive without a medium, or one that cannot be read: back to where the folder list is.
    selectDriveOf(m_folderPath);
}

void BrowseForm::Dir1_Activated(QListWidgetItem* item)
{
    if (item)
        setFolderPath(item->data(kPathRole).toString());
}

void BrowseForm::Dir1_Change()
{
    QDir::setCurrent(m_folderPath);
    m_driveFolders.insert(driveOf(m_folderPath), m_folderPath);
    m_label4->setText(QDir::toNativeSeparators(m_folderPath));
    fillFolderList();
    fillFileList();
}

void BrowseForm::File1_Click(QListWidgetItem* item)
{
    if (item)
        m_text2->setText(item->text());
}

void BrowseForm::File1_DblClick(QListWidgetItem* item)
{
    File1_Click(item);
    Command1_Click();
}

void BrowseForm::File1_KeyDown(int key)
{
    if (key != Qt::Key_Delete || m_file1->currentRow() < 0)
        return;
    const QString name = m_file1->currentItem()->text();
    if (ui::services().message(QStringLiteral("Delete Selected File?"), ui::Buttons::YesNo, ui::Icon::Question)
        != ui::Answer::Yes)
        return;
    QFile::remove(folderWithSeparator() + name);
    fillFileList();
}

void BrowseForm::Text1_Change(const QString& text) { setPattern(text); }

void BrowseForm::Text2_KeyUp() { setPattern(m_text2->text() + QStringLiteral("*.*")); }

void BrowseForm::Command1_Click()
{
    QString& chosen = session::FirmwareFilePath();
    if (m_text2->text().isEmpty()) {
        chosen.clear();
        accept();
        return;
    }
    chosen = folderWithSeparator() + m_text2->text();
    if (CheckFileName(chosen)) {
        accept();
        return;
    }
    // Spelt as operators know the message: keep "Ilegal".
    ui::services().message(QStringLiteral("File Name is Ilegal"), ui::Buttons::Ok, ui::Icon::Information);
    chosen.clear();
}

void BrowseForm::Command2_Click()
{
    session::FirmwareFilePath().clear();
    reject();
}

void BrowseForm::Form_Paint()
{
    fillFileList();
    for (int row = 0; row < m_file1->count(); ++row) {
        if (m_file1->item(row)->text() == m_text2->text()) {
            m_file1->setCurrentRow(row);
            return;
        }
    }
}

void BrowseForm::paintEvent(QPaintEvent* event)
{
    Form_Paint();
    QDialog::paintEvent(event);
}

bool BrowseForm::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_file1 && event->type() == QEvent::KeyPress)
        File1_KeyDown(static_cast<QKeyEvent*>(event)->key());
    else if (watched == m_text2 && event->type() == QEvent::KeyRelease)
        Text2_KeyUp();
    return QDialog::eventFilter(watched, event);
}

// ---- state -----------------------------------------------------------------------------

bool BrowseForm::CheckFileName(QString& path) { return canCreateFile(QFile::encodeName(path).toStdString()); }

QString BrowseForm::folderWithSeparator() const
{
    QString folder = m_label4->text();
    if (!folder.endsWith(QDir::separator()))
        folder += QDir::separator();
    return folder;
}

void BrowseForm::setFolderPath(const QString& path)
{
    m_folderPath = QDir::cleanPath(QDir(path).absolutePath());
    Dir1_Change();
}

bool BrowseForm::setPattern(const QString& pattern)
{
    // A pattern names files of the listed folder only; one reaching elsewhere is refused.
    if (pattern.isEmpty() || pattern.contains(QLatin1Char('/')) || pattern.contains(QDir::separator()))
        return false;
    m_pattern = pattern;
    fillFileList();
    return true;
}

void BrowseForm::fillDriveList()
{
    QStringList roots{QDir::rootPath()};
    for (const QStorageInfo& volume : QStorageInfo::mountedVolumes())
        if (volume.isValid() && volume.isReady() && !roots.contains(volume.rootPath()))
            roots.push_back(volume.rootPath());
    std::sort(roots.begin() + 1, roots.end());
    const QSignalBlocker quiet(m_drive1);
    m_drive1->clear();
    for (const QString& root : roots)
        m_drive1->addItem(QDir::toNativeSeparators(root), root);
}

QString BrowseForm::driveOf(const QString& path) const
{
    const QString root = QStorageInfo(path).rootPath();
    return m_drive1->findData(root) >= 0 ? root : QDir::rootPath();
}

void BrowseForm::selectDriveOf(const QString& path)
{
    const QSignalBlocker quiet(m_drive1);
    m_drive1->setCurrentIndex(m_drive1->findData(driveOf(path)));
}

void BrowseForm::fillFolderList()
{
    // The folder's ancestors from the root down, the folder itself, then its subfolders.
    QStringList chain;
    for (QDir dir(m_folderPath);; ) {
        chain.prepend(dir.absolutePath());
        if (dir.isRoot() || !dir.cdUp())
            break;
    }
    m_dir1->clear();
    int depth = 0;
    for (const QString& folder : chain) {
        const QString name = QDir(folder).isRoot() ? QDir::toNativeSeparators(folder) : QDir(folder).dirName();
        auto* item = new QListWidgetItem(QString(depth * 2, QLatin1Char(' ')) + name, m_dir1);
        item->setData(kPathRole, folder);
        ++depth;
    }
    m_dir1->setCurrentRow(m_dir1->count() - 1);
    const QDir here(m_folderPath);
    for (const QString& sub : here.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name)) {
        auto* item = new QListWidgetItem(QString(depth * 2, QLatin1Char(' ')) + sub, m_dir1);
        item->setData(kPathRole, here.absoluteFilePath(sub));
    }
}

QStringList matchingFiles(const QDir& folder, const QString& pattern)
{
    // As the operators' platform matches: a trailing ".*" also takes a name with no further
    // dot, so that "name.he*.*" lists "name.hex".
    QStringList filters{pattern};
    if (pattern.endsWith(QStringLiteral(".*")) && pattern.size() > 2)
        filters << pattern.chopped(2);
    return folder.entryList(filters, QDir::Files, QDir::Name);
}

void BrowseForm::fillFileList()
{
    const QStringList names = matchingFiles(QDir(m_folderPath), m_pattern);
    QStringList shown;
    for (int row = 0; row < m_file1->count(); ++row)
        shown.push_back(m_file1->item(row)->text());
    if (shown == names)
        return;  // unchanged: keep the selection and the scroll position
    m_file1->clear();
    m_file1->addItems(names);
}

}  // namespace iox::firmware
