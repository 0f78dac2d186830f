#include "list_form.h"

#include <QLabel>
#include <QListWidget>
#include <QPushButton>

#include <string>

#include "panel_parts.h"
#include "session/session.h"
#include "ui_services.h"

namespace iox::panels {

namespace {

QString trimBlanks(const QString& text)
{
    qsizetype first = 0, last = text.size();
    while (first < last && text[first] == u' ')
        ++first;
    while (last > first && text[last - 1] == u' ')
        --last;
    return text.mid(first, last - first);
}

}  // namespace

ListForm::ListForm(QString& snSelected, QWidget* parent) : QDialog(parent), m_snSelected(snSelected)
{
    setObjectName(QStringLiteral("ListForm"));
    setWindowTitle(QString::fromLatin1(kListFormTitle));
    setModal(true);
    setFixedSize(ui::twips(6330), ui::twips(4215));
    ui::setBackground(*this, ui::kWindowColour);

    const QFont bold = ui::designFont(9.75, true);
    m_label1 = makeLabel(this, QStringLiteral("Select SN:"), ui::twipsRect(720, 360, 3135, 255), bold);
    m_list1 = new QListWidget(this);
    m_list1->setGeometry(ui::twipsRect(720, 600, 4695, 2220));
    m_list1->setFont(bold);
    m_command1 = new QPushButton(QStringLiteral("O.K"), this);
    m_command1->setGeometry(ui::twipsRect(1080, 3240, 1455, 495));
    m_command1->setFont(bold);
    m_command1->setDefault(true);
    m_command2 = new QPushButton(QStringLiteral("Cancel"), this);
    m_command2->setGeometry(ui::twipsRect(3360, 3240, 1455, 495));
    m_command2->setFont(bold);

    connect(m_command1, &QPushButton::clicked, this, [this] { Command1_Click(); });
    connect(m_command2, &QPushButton::clicked, this, [this] { Command2_Click(); });
    connect(m_list1, &QListWidget::itemDoubleClicked, this, [this] { List1_DblClick(); });
    // Closing by the title bar (or Esc) rejects: SN_Selected is left alone.
}

void ListForm::showModal(QString& snSelected, QWidget* parent)
{
    ListForm form(snSelected, parent);
    form.Form_Load();
    ui::services().runModal(form);
}

void ListForm::Form_Load()
{
    std::string list;
    {
        auto lister = session::makeDevice();
        lister->Get_Available_SN_List(list);  // the count is not used
    }
    auto probe = session::makeDevice();
    // Cut at single blanks; a text without any blank is a single serial number.
    for (const QString& sn : QString::fromLatin1(list.c_str()).split(u' ')) {
        probe->Connect(sn.toLatin1().toStdString());
        std::string model;
        probe->Read_ModelName(model);
        m_list1->addItem(sn + QString::fromLatin1(kEntrySeparator) + QString::fromLatin1(model.c_str()));
        probe->Disconnect();
    }
    if (m_list1->count() > 0)
        m_list1->setCurrentRow(0);
}

QString ListForm::serialOfEntry(const QString& entry)
{
    const qsizetype at = entry.indexOf(QString::fromLatin1(kEntrySeparator));
    return trimBlanks(at < 0 ? entry : entry.left(at));
}

void ListForm::Command1_Click()
{
    const QListWidgetItem* item = m_list1->currentItem();
    m_snSelected = serialOfEntry(item ? item->text() : QString());
    accept();
}

void ListForm::List1_DblClick() { Command1_Click(); }

void ListForm::Command2_Click() { reject(); }

}  // namespace iox::panels
