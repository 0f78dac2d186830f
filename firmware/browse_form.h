#pragma once
// BrowseForm: the modal file browser. The operator picks a drive, a folder and a file, or
// types a name; O.K hands the full path back in FirmwareFilePath (empty on Cancel). The
// only check made here is whether a file of that name could be created.
//
// Its controls by role:
//   drive list          Drive1
//   pattern             Label2 "Search File:", Text1 the pattern of the file list
//   folder              Label4 the folder shown, Dir1 its ancestors and subfolders
//   files               Label1 "Select File:", File1 the folder's files that match
//   name                Label3 "File Name:", Text2 the name chosen or typed
//   buttons             Command1 "O.K", Command2 "Cancel"

#include <QDialog>
#include <QHash>
#include <QString>
#include <QStringList>

class QDir;

class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QPushButton;

namespace iox::firmware {

class BrowseForm : public QDialog {
    Q_OBJECT

public:
    explicit BrowseForm(QWidget* parent = nullptr);

    // Shows a new browse window modally (through the window-system services, which tests
    // replace so that nothing blocks) and returns when it has closed.
    static int showModal(QWidget* parent = nullptr);

    QComboBox* Drive1() const { return m_drive1; }
    QLineEdit* Text1() const { return m_text1; }
    QLabel* Label4() const { return m_label4; }
    QListWidget* Dir1() const { return m_dir1; }
    QListWidget* File1() const { return m_file1; }
    QPushButton* Command1() const { return m_command1; }
    QPushButton* Command2() const { return m_command2; }
    QLineEdit* Text2() const { return m_text2; }

    // The folder list's path; setting it raises Dir1_Change.
    QString folderPath() const { return m_folderPath; }
    void setFolderPath(const QString& path);
    // The file list's pattern in force.
    QString filePattern() const { return m_pattern; }

    // Re-reads the file list and selects the entry named exactly as Text2; every redraw runs it.
    void Form_Paint();

protected:
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildControls();
    void Form_Load();

    void Drive1_Change(int index);
    void Dir1_Change();
    void Dir1_Activated(QListWidgetItem* item);
    void File1_Click(QListWidgetItem* item);
    void File1_DblClick(QListWidgetItem* item);
    void File1_KeyDown(int key);
    void Text1_Change(const QString& text);
    void Text2_KeyUp();
    void Command1_Click();
    void Command2_Click();

    bool CheckFileName(QString& path);
    QString folderWithSeparator() const;
    bool setPattern(const QString& pattern);
    void fillDriveList();
    // The listed drive a path lies on: its volume's root, or the root folder.
    QString driveOf(const QString& path) const;
    void selectDriveOf(const QString& path);
    void fillFolderList();
    void fillFileList();

    QComboBox* m_drive1 = nullptr;
    QLabel* m_label2 = nullptr;
    QLineEdit* m_text1 = nullptr;
    QLabel* m_label4 = nullptr;
    QListWidget* m_dir1 = nullptr;
    QLabel* m_label1 = nullptr;
    QListWidget* m_file1 = nullptr;
    QPushButton* m_command1 = nullptr;
    QPushButton* m_command2 = nullptr;
    QLabel* m_label3 = nullptr;
    QLineEdit* m_text2 = nullptr;

    QString m_folderPath;
    QHash<QString, QString> m_driveFolders;  // a drive's root: the folder last shown on it
    QString m_pattern = QStringLiteral("*.*");
};

// The names of the folder's files that `pattern` takes ('*' and '?' wildcards), sorted.
QStringList matchingFiles(const QDir& folder, const QString& pattern);

}  // namespace iox::firmware
