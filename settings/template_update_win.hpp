#pragma once
// The template update: brings the template file and icon store of the data folder up to the
// release on the toolbar's update location, and says in Update.log what happened.
//
// A library that carries publisher keys (`tbtool brand --key`) takes only whole signed releases:
// it fetches B.release first (settings/release_manifest.cpp) and takes the release when the
// signature verifies with one of its keys, the class id is its own, the version is newer than the
// installed template's, the release has not expired, and both downloads match their digests.
// A release that is not newer is not downloaded. A library without a key fetches B.tb and
// icons.bin and takes each that is a usable store.
//
// Either way: one update at a time for a data folder (a window that finds one running builds with
// the files as they are); downloads are held in memory, checked, written to a file of a unique
// name that nobody else may open, and that same file is renamed over the current one, whose copy
// stays as the " Default" file; an unchanged file costs one conditional request; the whole step
// ends by its deadline.
//
// Files in the data folder (B is the template's base name):
//   B.tb, Icons.bin                      in use
//   B Default.tb, Icons Default.bin      what was in use before the last swap
//   update-*.part                        a download being swapped in (removed at the next start)
//   Update.log, Update.old.log, Update.state   see settings/update_record.hpp
// Remote files: UpdatesUrl + B + ".tb", UpdatesUrl + "icons.bin", UpdatesUrl + B + ".release".
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "settings/update_checks.hpp"

namespace tb {

struct UpdateLimits {
    unsigned long deadline_ms = kUpdateDeadlineMs;
    unsigned long no_answer_ms = kUpdateNoAnswerMs;
    unsigned long long template_bytes = kTemplateSizeLimit;
    unsigned long long icon_store_bytes = kIconStoreSizeLimit;
};

struct UpdateTarget {
    std::u16string data_folder;
    std::u16string base_name;
    std::string class_id;  // the toolbar's own; a signed release must name it
    // The publisher keys the library carries; nullopt: it carries none and takes unsigned files.
    std::optional<std::vector<std::string>> keys;
};

// Runs the update for `target`; `updates_url` gets the trailing "/" when it lacks one (unless it is
// empty or blank, when nothing at all happens and "" is returned). Returns the outcome as logged:
// "updated to version V", "not modified", "refused: WHY", "failed: WHY", "skipped: WHY".
// Nothing is raised: an update that cannot be done leaves the installed files as they are.
std::string UpdateTemplate(const UpdateTarget& target, std::u16string& updates_url, const UpdateLimits& limits = {});

// What the update of ToolbarSettings works on (UpdatesUrl, DataFolder, TemplateBaseName,
// ToolbarGuid, and the keys of the library the settings were loaded from); false when there is no
// update location. A missing trailing "/" is added to the record's UpdatesUrl.
bool UpdateOfSettings(UpdateTarget& target, std::u16string& updates_url);

// The update for ToolbarSettings (UpdatesUrl, DataFolder, TemplateBaseName, ToolbarGuid) with the
// keys of the library the settings were loaded from; a missing trailing "/" is added to the
// record's UpdatesUrl.
void UpdateTemplate();

// Test seam: called with the path of a checked download's file just before it is renamed into
// place, so a test can try what another program could do to it.
void SetBeforeSwapForTesting(std::function<void(const std::string& part_file)> hook);

}  // namespace tb
