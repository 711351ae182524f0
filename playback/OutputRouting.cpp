#include "OutputRouting.h"

QString routeDevice(const QString &chosen, const QString &defaultName)
{
    return !defaultName.isEmpty() && chosen == defaultName ? QString() : chosen;
}
