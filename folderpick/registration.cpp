#include "registration.h"

#include "folderpickids.h"

namespace folderpick {

component::TypeLibRecord TypeLibRegistration()
{
    component::TypeLibRecord record;
    record.id = Guid::FromText(kTypeLibId);
    record.name = kTypeLibName.toString();
    record.helpString = kTypeLibName.toString();
    record.majorVersion = kTypeLibMajor;
    record.minorVersion = kTypeLibMinor;
    record.locale = kTypeLibLocale;
    record.flags = component::kTypeLibFlagControl;
    return record;
}

component::ClassRecord ClassRegistration()
{
    component::ClassRecord record;
    record.classId = Guid::FromText(kClassId);
    record.name = kClassName.toString();
    record.progId = kProgId.toString();
    record.control = true;
    record.miscStatus = kMiscStatus;
    record.toolboxBitmapId = kToolboxBitmapId;
    record.version = kVersion.toString();
    return record;
}

} // namespace folderpick
