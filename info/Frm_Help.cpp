#include "Frm_Help.h"

#include "FormDefinition.h"
#include "StoredResources.h"
#include "WindowPlacement.h"
#include "ui_Frm_Help.h"

#include <QKeyEvent>

Frm_Help::Frm_Help(QWidget *parent)
    : QWidget(parent)
    , ui(std::make_unique<Ui::Frm_Help>())
{
    initStoredResources();
    ui->setupUi(this);
    completeFormDefinition(this);
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowFlags(Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setFixedSize(size());
    connect(ui->Command1, &QPushButton::clicked, this, &Frm_Help::Command1_Click);
    centreOnScreen(this);
}

Frm_Help::~Frm_Help() = default;

void Frm_Help::Command1_Click()
{
    close();
}

void Frm_Help::keyPressEvent(QKeyEvent *event)
{
    if (!pressOnEnterOrEscape(event, ui->Command1))
        QWidget::keyPressEvent(event);
}
