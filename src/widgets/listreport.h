#pragma once

namespace cg {

// The report interface the File menu and the product bar use on the active
// child window. Operations a screen has nothing to do for are empty.
class IListReport {
public:
    virtual ~IListReport() = default;
    virtual void ExportFile() = 0;
    virtual void ExportFileOpen() = 0;
    virtual void PrintReport(bool pbShowDialog) = 0;
    virtual void PreView() = 0;
    virtual void PageSet() = 0;
    virtual void PrintSet() = 0;
    // Whether the printing operations do anything; the workstation disables
    // its print entries where they would not.
    virtual bool CanPrint() const { return true; }
};

} // namespace cg
