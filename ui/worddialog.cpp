#include "worddialog.h"

#include "sjis.h"
#include "texts.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

TWordDialog::TWordDialog(QWidget* parent) : TModalDialog(parent)
{
    setObjectName(QStringLiteral("WordDialog"));
    setupWindow(txt::kWordCaption, 320, 150);
    setCentred();
    const QString caption = sjis::decode(txt::kWordCaption);

    Message = new QLabel(this);
    Message->setObjectName(QStringLiteral("Message"));
    Message->setWordWrap(true);
    WordEdit = new QLineEdit(this);
    WordEdit->setObjectName(QStringLiteral("WordEdit"));
    WordEdit->setEchoMode(QLineEdit::Password);
    WordEdit->setAccessibleName(caption);
    Message->setBuddy(WordEdit);
    ShowWord = new QCheckBox(sjis::decode(txt::kWordShow), this);
    ShowWord->setObjectName(QStringLiteral("ShowWord"));
    connect(ShowWord, &QCheckBox::toggled, this,
            [this](bool on) { WordEdit->setEchoMode(on ? QLineEdit::Normal : QLineEdit::Password); });
    OkButton = new QPushButton(QStringLiteral("OK"), this);
    OkButton->setObjectName(QStringLiteral("OkButton"));
    OkButton->setAccessibleName(QStringLiteral("OK"));
    CancelButton = new QPushButton(sjis::decode(txt::kLogSaveCancel), this);
    CancelButton->setObjectName(QStringLiteral("CancelButton"));
    CancelButton->setAccessibleName(CancelButton->text());
    connect(OkButton, &QPushButton::clicked, this, [this] { SetModalResult(mrOk); });
    connect(CancelButton, &QPushButton::clicked, this, [this] { SetModalResult(mrCancel); });
    OkButton->setDefault(true);
    setDefaultButton(OkButton);
    setCancelButton(CancelButton);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(OkButton);
    buttons->addWidget(CancelButton);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Message);
    layout->addWidget(WordEdit);
    layout->addWidget(ShowWord);
    layout->addStretch();
    layout->addLayout(buttons);
    setTabOrder(WordEdit, ShowWord);
    setTabOrder(ShowWord, OkButton);
    setTabOrder(OkButton, CancelButton);
}

void TWordDialog::SetMessage(const std::string& cp932)
{
    Message->setText(sjis::decode(cp932).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    setAccessibleDescription(Message->text());
}

std::string TWordDialog::Word() const
{
    return WordEdit->text().toStdString();
}

void TWordDialog::Clear()
{
    WordEdit->clear();
    ShowWord->setChecked(false);
}
