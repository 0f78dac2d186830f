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

#include "firmware/core/file_probe.h"
#include "panels/ui_services.h"
#include "session/session.h"

namespace iox::firmware {

namespace {

QFont arialBold(qreal points)
{
    QFont font(QStringLiteral("Arial"));
    font.setPointSizeF(points);
    font.setBold(true);
    return font;
}

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
    ui::setBackground(*this, ui::kWindowColour);

    auto place = [this](QWidget* widget, QRect where, qreal points) {
        widget->setParent(this);
        widget->setGeometry(where);
        widget->setFont(arialBold(points));
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
    ui::setBackground(*m_label4, palette().color(QPalette::Base));
    m_command1->setAutoDefault(false);
    m_command2->setAutoDefault(false);

    connect(m_drive1, &QComboBox::currentIndexChanged, this, &BrowseForm::Drive1_Change);
    connect(m_dir1, &QListWidget::itemActivated, this, &BrowseForm::Dir1_Activated);
    connect(m_file1, &QListWidget::itemClicked, this, &BrowseForm::File1_Click);
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
    if (!drive.isEmpty() && QDir(drive).isReadable() && QDir::setCurrent(drive)) {
        setFolderPath(drive);
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

void BrowseForm::selectDriveOf(const QString& path)
{
    int index = m_drive1->findData(QStorageInfo(path).rootPath());
    if (index < 0)
        index = m_drive1->findData(QDir::rootPath());
    const QSignalBlocker quiet(m_drive1);
    m_drive1->setCurrentIndex(index);
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

void BrowseForm::fillFileList()
{
    const QStringList names = QDir(m_folderPath).entryList({m_pattern}, QDir::Files, QDir::Name);
    QStringList shown;
    for (int row = 0; row < m_file1->count(); ++row)
        shown.push_back(m_file1->item(row)->text());
    if (shown == names)
        return;  // unchanged: keep the selection and the scroll position
    m_file1->clear();
    m_file1->addItems(names);
}

}  // namespace iox::firmware
