#pragma once
// What the template update takes: its limits and the checks a downloaded file must pass. Shared by
// the library's update and by `tbtool probe`, which tells a publisher what the update will make of
// an update location.
#include <string>

namespace tb {

// The whole update step of a build, every request included. The window the user opened shows
// nothing of the toolbar until the step ends, so it is a few seconds: a release of real size
// (tens of kilobytes, an icon store well under a megabyte) arrives in well under that on any
// working connection; one that cannot is tried again at the next build, and meanwhile the
// installed files stay in use.
inline constexpr unsigned long kUpdateDeadlineMs = 8000;
// Nothing moved for this long (connecting, or between parts of a body): the server is not coming.
inline constexpr unsigned long kUpdateNoAnswerMs = 4000;

// The largest files the update takes. Real templates are a few kilobytes and real icon stores well
// under a megabyte; the limits leave room for any real store and keep what a server can make the
// library hold small.
inline constexpr unsigned long long kTemplateSizeLimit = 4ull << 20;
inline constexpr unsigned long long kIconStoreSizeLimit = 16ull << 20;

// Hops a transfer follows: enough for a publisher who moved the update location (http to https,
// old host to new) and kept a forwarding address; a longer chain is a loop or nobody's plan.
// Never from https down to http.
inline constexpr int kMaxUpdateRedirects = 3;

// A downloaded template is taken only when it loads and names the toolbar.
bool TemplateIsUsable(std::string image);
// A downloaded icon store is taken only when it loads and holds an image list.
bool IconStoreIsUsable(std::string image);
// "\Options\Version" of a template image; empty when it has none or does not load.
std::string VersionOf(std::string image);

}  // namespace tb
