#include "browserengine.h"

#include <QCoreApplication>
#include <QNetworkProxyFactory>

#include <unistd.h>

void PrepareBrowserEngine()
{
    if (geteuid() == 0)
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
}

void UseSystemProxy()
{
    QNetworkProxyFactory::setUseSystemConfiguration(true);
}
