#pragma once
// The search history, a component of the toolbar window: the sorted list of terms, the search box's
// list that shows it, History.txt that every toolbar window of the user shares (settings/text_file.hpp
// has its format), and the commands of the search box's popup menu (edit commands on the box's text,
// history commands, the file dialogs). The window owns it and wires its menu items to it.
//
// The file is rewritten through a temporary file that then takes its place, so a write that fails
// part-way leaves the previous history whole. A search merges what is on disk before it saves, and
// the windows of the user take turns at that (a named mutex per file), so no window's new term is
// lost to another's save.
#include <string>
#include <vector>

#include "storage/storage.hpp"
#include "toolbar/history_list_win.hpp"
#include "toolkit/combo_box_win.hpp"
#include "toolkit/dialogs_win.hpp"
#include "toolkit/form_win.hpp"

namespace tb {

// A file dialog component: its settings, and Execute through the dialog seam.
class TFileDialog : public TComponent {
public:
    TFileDialog(std::u16string name, bool save) : TComponent(std::move(name)), save_(save) {}
    FileDialogArgs Args;
    bool Execute(HWND owner) { return save_ ? ShowSaveDialog(owner, Args) : ShowOpenDialog(owner, Args); }

private:
    bool save_;
};

class TSearchHistory {
public:
    // `form` owns the boxes shown; `strings` is the template, whose "\Strings" give the questions.
    TSearchHistory(TForm& form, TComboBox& box, TrsStorage& strings);
    TSearchHistory(const TSearchHistory&) = delete;
    TSearchHistory& operator=(const TSearchHistory&) = delete;

    // The window's creation step: History.txt into the list, the list into the box's.
    void Load();
    // A search's step: merges the file and the box's list, and saves when the box's text is new.
    void AddBoxText();
    const std::vector<std::u16string>& Entries() const { return list_.Entries(); }

    // Edit commands on the box's text.
    void Cut();
    void Copy();
    void Paste();  // line breaks become blanks: the box holds one line
    void Delete();
    void SelectAll();
    // History commands.
    void Clear();  // after the template's question; the box keeps its text
    void SaveToChosenFile(const std::u16string& title);
    void LoadChosenFile(const std::u16string& title);  // into the box's list; History.txt waits
    void RemoveSelected();
    void Edit();  // History.txt opened by the shell
    void Refresh();

    TFileDialog OpenDialog{u"OpenDialog1", false};
    TFileDialog SaveDialog{u"SaveDialog1", true};

private:
    TForm& form_;
    TComboBox& box_;
    TrsStorage& strings_;
    THistoryList list_;
};

}  // namespace tb
