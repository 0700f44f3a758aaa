#include "tests/setuphelper/PellowLibrary.h"

namespace {

template <typename Function>
void Bind(HMODULE module, const char* name, Function& function)
{
    function = (Function)(void*)GetProcAddress(module, name);
}

PellowLibrary Load()
{
    PellowLibrary library;
    library.module = LoadLibraryA("Pellow.dll");
    if (library.module) {
        Bind(library.module, "GetFirstCaption", library.getFirstCaption);
        Bind(library.module, "GetNextCaption", library.getNextCaption);
        Bind(library.module, "IsCloseModule", library.isCloseModule);
        Bind(library.module, "GetFileDescription", library.getFileDescription);
        Bind(library.module, "CreateIconM", library.createIconM);
    }
    return library;
}

}  // namespace

const PellowLibrary& Pellow()
{
    static const PellowLibrary library = Load();
    return library;
}
