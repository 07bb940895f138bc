#include "shellwindows.h"

#include "frmfeedback.h"
#include "frmsplash.h"
#include "frmsupport.h"

void ShowSupport(QWidget *owner)
{
    frmSupport window(owner);
    window.exec();
}

void ShowFeedback(QWidget *owner)
{
    frmFeedback window(owner);
    window.exec();
}

void ShowAbout(QWidget *owner)
{
    frmSplash window(owner);
    window.exec();
}
