// The fixed places the program reads from or writes to, named in one spot.
#pragma once

#include <string>

#include "document/DocumentTexts.h"
#include "document/Outcome.h"

namespace tw {

// The picture the character view shows as background at start-up: a file the
// user may put in the home folder. Whether it exists is not checked.
std::string StartupBackgroundPath();

// The program's own folder for this user's preview files: "tweenwright" under
// $XDG_RUNTIME_DIR when that is set to an absolute path, else
// "tweenwright-<uid>" under $TMPDIR or /tmp. It is created with mode 0700 when
// missing. It is refused when it is a symbolic link, not a folder, not this
// user's, or open to writing by others (someone else could then swap the
// files the view reads): under the runtime folder with a message; under /tmp,
// where another user can take the name first, a private folder is made beside
// it with mkdtemp instead, once per run, and a notice says so.
Outcome<std::string> PreviewFolder();

// At the end of a run: the preview files in the private folder made in place
// of the usual one, if one was made, and then the folder itself when nothing
// else is left in it (records kept by taking back an add stay, and with them
// the folder). The usual folder is left as it is for the next run.
void RemovePrivatePreviewFolder();

// The notice of the private folder made in place of the usual one, the first
// time it is asked for after that folder was made; empty otherwise.
std::string TakePreviewFolderNotice();

// The folder of this user's saved poses: "tweenwright/poses" under
// $XDG_DATA_HOME when that is an absolute path, else under ~/.local/share;
// created with mode 0700 when missing, and refused, as the preview folder is,
// when it is a symbolic link, not a folder, not this user's or open to
// writing by others.
Outcome<std::string> PoseFolder();

// The preview files in `folder`, each replaced whole by its preview: one
// keyframe's pose (initial.hap, final.hap) and the movement (animationtest.hap).
std::string KeyframePreviewPath(const std::string& folder, KeyframeSide side);
std::string AnimationPreviewPath(const std::string& folder);

// PreviewFolder() and one of the paths above together: the one path each
// preview writes and then names in its load command.
Outcome<std::string> KeyframePreviewFile(KeyframeSide side);
Outcome<std::string> AnimationPreviewFile();

}  // namespace tw
