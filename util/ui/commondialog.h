// The common dialogs (open file, save file, colour, font, printer) behind
// properties and five show methods: a caller sets the properties, calls one
// method and reads the results back. An instance is made for one use.
//
// Every dialog is shown without an owner window and goes through execDialog,
// so tests answer it like any other; their object names are
// "CommonDialogOpen", "CommonDialogSave", "CommonDialogColor",
// "CommonDialogFont" and "CommonDialogPrinter". The show methods return true
// when the user confirmed the dialog and false when it was cancelled or
// failed; they never throw, and a failure leaves every property as it was.
// Fixed names: the names here that the program's design fixes keep their spelling (doc/HACKING.md).
#pragma once

#include <QString>
#include <array>
#include <cstdint>

// Option bits of the open and save dialogs (flags). Only must-exist (open)
// and overwrite-prompt (save) change the dialog; the others describe what the
// dialog does anyway: the current folder is never changed, and the dialog is
// always the resizable kind.
enum FileDialogFlags : std::int32_t {
    OFN_OVERWRITEPROMPT = 0x2,
    OFN_NOCHANGEDIR = 0x8,
    OFN_FILEMUSTEXIST = 0x1000,
    OFN_EXPLORER = 0x80000,
    OFN_ENABLESIZING = 0x800000,
};

// Option bits of the printer dialog (flags): start with "Pages" chosen, or
// offer no page range at all.
enum PrintDialogFlags : std::int32_t {
    PD_PAGENUMS = 0x2,
    PD_NOPAGENUMS = 0x8,
};

class CommonDialog {
public:
    CommonDialog() { customColors_.fill(kWhite); }

    // File types of the open and save dialogs: description and pattern
    // alternately, each followed by "|", such as "Text (*.txt)|*.txt|". A
    // pattern may list several masks separated by ";". The user sees the
    // descriptions (Qt shows each run of blanks in them as one plain space).
    QString Filter() const { return Filter_; }
    void setFilter(const QString& vNewValue) { Filter_ = vNewValue; }
    // The pair of Filter (from 1) chosen when the dialog opens; the first one
    // when out of range. The dialog does not change it.
    std::int16_t FilterIndex() const { return FilterIndex_; }
    void setFilterIndex(std::int16_t vNewValue) { FilterIndex_ = vNewValue; }
    // The initial file name, a bare name or a full path. After a confirmed
    // open or save dialog, the chosen full path; a name chosen without an
    // extension gets the first mask of the file type selected in the dialog
    // when that mask is "*." followed by an extension without wildcards (a
    // pattern "*.ico;*.cur" gives ".ico", "*.*" nothing). The completed name
    // is the one the dialog checks for must-exist and overwrite.
    QString FileName() const { return FileName_; }
    void setFileName(const QString& vNewValue) { FileName_ = vNewValue; }
    // After a confirmed open or save dialog, the name part of FileName.
    QString FileTitle() const { return FileTitle_; }
    QString InitDir() const { return InitDir_; }
    void setInitDir(const QString& vNewValue) { InitDir_ = vNewValue; }
    // The open or save dialog's title; empty gives the dialog's own ("Open", "Save As").
    QString DialogTitle() const { return DialogTitle_; }
    void setDialogTitle(const QString& vNewValue) { DialogTitle_ = vNewValue; }
    // Extension added by the dialog to a name typed without one; it takes the
    // place of the selected file type's extension.
    QString DefaultExt() const { return DefaultExt_; }
    void setDefaultExt(const QString& vNewValue) { DefaultExt_ = vNewValue; }
    // Option bits of whichever dialog is shown (FileDialogFlags, PrintDialogFlags).
    std::int32_t flags() const { return flags_; }
    void setFlags(std::int32_t vNewValue) { flags_ = vNewValue; }
    // The file-name buffer size of the platform this class was made for
    // (below 1 meaning 255). Kept for callers; a chosen path is returned
    // whole whatever its length, never cut short and never refused.
    std::int32_t MaxFileSize() const { return MaxFileSize_; }
    void setMaxFileSize(std::int32_t vNewValue) { MaxFileSize_ = vNewValue; }

    // 3, 4 or 5 once the colour, font or printer dialog was answered
    // (confirmed or cancelled); the file dialogs leave it alone.
    std::int16_t Action() const { return Action_; }

    // The colour the colour dialog starts at, and the chosen one, as 0x00BBGGRR.
    std::int32_t Color() const { return Color_; }
    void setColor(std::int32_t vNewValue) { Color_ = vNewValue; }

    // The font dialog's font, in and out. FontSize is in points; bold means
    // a weight of at least 700.
    QString FontName() const { return FontName_; }
    void setFontName(const QString& vNewValue) { FontName_ = vNewValue; }
    std::int32_t FontSize() const { return FontSize_; }
    void setFontSize(std::int32_t vNewValue) { FontSize_ = vNewValue; }
    bool FontBold() const { return FontBold_; }
    void setFontBold(bool vNewValue) { FontBold_ = vNewValue; }
    bool FontItalic() const { return FontItalic_; }
    void setFontItalic(bool vNewValue) { FontItalic_ = vNewValue; }
    bool FontUnderline() const { return FontUnderline_; }
    void setFontUnderline(bool vNewValue) { FontUnderline_ = vNewValue; }
    bool FontStrikethru() const { return FontStrikethru_; }
    void setFontStrikethru(bool vNewValue) { FontStrikethru_ = vNewValue; }

    // The printer dialog's page range, page limits and copies. Each goes in
    // as a 16-bit page number (values outside 0..65535 are clamped, a Max
    // below Min is raised to Min, Copies is at least 1). On confirmation the
    // limits and copies are read back, and the range when the user chose
    // "Pages"; with all pages chosen, FromPage and ToPage stay as they were.
    std::int32_t FromPage() const { return FromPage_; }
    void setFromPage(std::int32_t vNewValue) { FromPage_ = vNewValue; }
    std::int32_t ToPage() const { return ToPage_; }
    void setToPage(std::int32_t vNewValue) { ToPage_ = vNewValue; }
    std::int32_t Min() const { return Min_; }
    void setMin(std::int32_t vNewValue) { Min_ = vNewValue; }
    std::int32_t Max() const { return Max_; }
    void setMax(std::int32_t vNewValue) { Max_ = vNewValue; }
    std::int32_t Copies() const { return Copies_; }
    void setCopies(std::int32_t vNewValue) { Copies_ = vNewValue; }
    // Stored only.
    bool PrinterDefault() const { return PrinterDefault_; }
    void setPrinterDefault(bool vNewValue) { PrinterDefault_ = vNewValue; }
    // There is no device context to hand over: always 0.
    std::int32_t hdc() const { return 0; }

    bool ShowOpen();
    bool ShowSave();
    // Starts at Color with this instance's sixteen custom colours (white at
    // first). A confirmed colour becomes Color and also goes into the first
    // custom slot that is still white, so chosen colours collect there;
    // changes the user makes to the custom colours in the dialog are dropped.
    // The application-wide custom colours are put back afterwards.
    bool ShowColor();
    bool ShowFont();
    bool ShowPrinter();

private:
    static constexpr std::int32_t kWhite = 0xFFFFFF;

    bool showFileDialog(bool save);

    QString Filter_;
    std::int16_t FilterIndex_ = 0;
    QString FileName_;
    QString FileTitle_;
    QString InitDir_;
    QString DialogTitle_;
    QString DefaultExt_;
    std::int32_t flags_ = 0;
    std::int32_t MaxFileSize_ = 0;
    std::int16_t Action_ = 0;
    std::int32_t Color_ = 0;
    QString FontName_;
    std::int32_t FontSize_ = 0;
    bool FontBold_ = false;
    bool FontItalic_ = false;
    bool FontUnderline_ = false;
    bool FontStrikethru_ = false;
    std::int32_t FromPage_ = 0;
    std::int32_t ToPage_ = 0;
    std::int32_t Min_ = 0;
    std::int32_t Max_ = 0;
    std::int32_t Copies_ = 0;
    bool PrinterDefault_ = false;
    std::array<std::int32_t, 16> customColors_ {};
};
