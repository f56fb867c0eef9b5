#pragma once
// The text viewer window: shows a converted text in a fixed-pitch font, makes
// the font larger or smaller, prints the text, keeps a copy of it, and on
// closing deletes the text file unless the user pressed Save.
//
// One viewer at a time: reach it through FormInstance<ViewerWindow>::get(). The
// caller hands it a text with loadText() (or through txtHTML's FileName) and
// shows it with showModal(), which returns at once; unloaded() tells when
// the viewer has been closed.

#include <QString>
#include <QWidget>

#include <cstdint>
#include <memory>

class FindDialog;
class QFileDialog;
class QLabel;
class QPrintDialog;
class QPrinter;
class QPushButton;
class RichTextBox;

class ViewerWindow : public QWidget {
    Q_OBJECT
public:
    explicit ViewerWindow(QWidget *parent = nullptr);
    ~ViewerWindow() override;

    // Shows the window application-modal (Qt's window modality: no other
    // window takes input while it is open) and returns at once.
    void showModal();

    // Loads the text file at path into the text box, shown from its top.
    // A temporary text (one of the program's own fetched pages) is removed
    // when the viewer closes even after Save, which has already copied it
    // where the user chose; any other text is removed unless saved. False
    // with the reason in *error when the file cannot be read; the box then
    // keeps what it held.
    bool loadText(const QString &path, bool temporary, QString *error = nullptr);

    // How the text is written, which decides the files Save offers to
    // write it as: plain text (*.txt) or Markdown (*.md).
    enum class TextFormat : std::uint8_t { Plain, Markdown };

    // A text as its conversion hands it over: where it lies, the encoding
    // it is written in (a WHATWG name; empty: not known, and guessed from
    // its bytes), the page's name for the window, whether it is
    // temporary (as for loadText()), and how it is written.
    struct Handover {
        QString path;
        QString encoding;
        QString pageName;
        bool temporary = false;
        TextFormat format = TextFormat::Plain;
    };
    // Loads the text as loadText() does, decoded from its encoding, and
    // names its page (setPageName()).
    bool loadText(const Handover &text, QString *error = nullptr);

    // Where Save's dialog starts and the name it proposes; without a folder
    // it starts in the text file's own folder, proposing no name.
    void setSavePlace(const QString &folder, const QString &fileName);

    // Names the page the text was made from in the caption:
    // "NAME - Quillan"; an empty name gives the caption alone.
    void setPageName(const QString &name);

    // Keys: Ctrl+S Save, Ctrl+P Print, Ctrl++ and Ctrl+- the font size (as
    // ">>" and "<<"), Esc Close, Ctrl+F the find dialog, F3 the next place
    // of the text last looked for.
    void findText();
    void findNextText();
    FindDialog *findDialog() const { return findDialog_; }

    // True once Save was pressed in this opening of the viewer.
    bool textSaved = false;
    // True when the text shown is removed on closing whatever Save did.
    bool textTemporary = false;

    // Controls.
    RichTextBox *txtHTML = nullptr;
    QWidget *Picture2 = nullptr;
    QPushButton *btnSmaller = nullptr;
    QLabel *Label1 = nullptr;
    QPushButton *btnLarger = nullptr;
    QWidget *Picture1 = nullptr;
    QPushButton *btnPrint = nullptr;
    QPushButton *btnSave = nullptr;
    QPushButton *btnClose = nullptr;
    QPushButton *btnHelp = nullptr;

    // The printer the print dialog configures; kept, with the user's
    // choices, for the life of the window.
    QPrinter *Printer();

    // Handlers.
    void Form_Load();
    void Form_Resize();
    void Form_Unload();
    void btnLarger_Click();
    void btnSmaller_Click();
    void btnClose_Click();
    void btnHelp_Click();
    void btnPrint_Click();
    void btnSave_Click();

signals:
    // The window has been closed; it is deleted soon after.
    void unloaded();

protected:
    void resizeEvent(QResizeEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void setupWindow();
    void setupTextBox();
    void setupFontSizeRow();
    void setupCommandButtons();
    void connectHandlers();
    void setupKeys();
    QPushButton *makeButton(QWidget *panel, const QString &caption, int leftTwips, int topTwips, int widthTwips,
                            int heightTwips);

    // The dialogs, created here and run by the handlers.
    QPrintDialog *createPrintDialog(QPrinter *printer);
    QFileDialog *createSaveDialog();

    void printChosenRange(QPrinter *printer);
    void saveCopyTo(const QString &target);

    std::unique_ptr<QPrinter> printer_;
    QString saveFolder_;
    QString saveName_;
    TextFormat format_ = TextFormat::Plain;
    FindDialog *findDialog_ = nullptr;
};
