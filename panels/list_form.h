#pragma once
// ListForm: the selection window of the start-up, shown modally when more than
// one box is attached. Lists "SN  -  model" entries and hands the chosen serial number
// to the caller's SN_Selected.
//
// Its controls by role:
//   caption             Label1, above the list
//   boxes               List1, one "SN  -  model" entry per box; a double-click is O.K
//   buttons             Command1 "O.K", Command2 "Cancel"

#include <QDialog>
#include <QString>

class QLabel;
class QListWidget;
class QPushButton;

namespace iox::panels {

// The separator between serial number and model name in an entry.
inline constexpr char kEntrySeparator[] = "  -  ";

class ListForm : public QDialog {
public:
    // `snSelected` is TestForm's SN_Selected, which "O.K" writes.
    explicit ListForm(QString& snSelected, QWidget* parent = nullptr);

    // Loads the window (Form_Load fills the list), shows it modally through
    // ui::services().runModal() and returns when it has closed.
    static void showModal(QString& snSelected, QWidget* parent);

    void Form_Load();
    void Command1_Click();  // "O.K"
    void List1_DblClick();
    void Command2_Click();  // "Cancel"

    QLabel* Label1() const { return m_label1; }
    QListWidget* List1() const { return m_list1; }
    QPushButton* Command1() const { return m_command1; }
    QPushButton* Command2() const { return m_command2; }

    // The serial number an entry hands over: the text before the separator "  -  "
    // (a serial number may itself hold a hyphen), or the whole text without it; leading
    // and trailing blanks removed.
    static QString serialOfEntry(const QString& entry);

private:
    QString& m_snSelected;
    QLabel* m_label1;
    QListWidget* m_list1;
    QPushButton* m_command1;
    QPushButton* m_command2;
};

// Title of the selection window.
inline constexpr char kListFormTitle[] = "Kestrow   USB To I/O";

}  // namespace iox::panels
