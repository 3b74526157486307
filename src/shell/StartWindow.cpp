#include "shell/StartWindow.h"

#include "util/AppInfo.h"

#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace dh {

StartWindow::StartWindow(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("fCover"));
    setWindowTitle(AppTitle());
    auto *layout = new QVBoxLayout(this);
    m_version = new QLabel(QStringLiteral("版本:") + VersionText(), this);
    m_version->setObjectName(QStringLiteral("Label2"));
    m_quit = new QPushButton(QStringLiteral("退出软件"), this);
    m_quit->setObjectName(QStringLiteral("Command3"));
    layout->addWidget(m_version);
    layout->addWidget(m_quit);
    connect(m_quit, &QPushButton::clicked, this, &QWidget::close);
}

void StartWindow::closeEvent(QCloseEvent *event)
{
    event->accept();
    QApplication::closeAllWindows();
    QApplication::quit();
}

} // namespace dh
