#pragma once
// Running a scene through the library's exports on a clock that its host moves: the scene
// player passes waits in real time or on the manual clock, the GStreamer element passes them
// as its video's running time advances.

#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "scene/library.h"
#include "scene/scene.h"

namespace vxscene {

// What a run needs from the program that drives it.
class SceneHost {
 public:
  virtual ~SceneHost() = default;
  // Lets ms of scene time pass (the library's timers fire meanwhile).
  virtual void Pass(std::uint32_t ms) = 0;
  // A snapshot step; false stops the run.
  virtual bool Snapshot(const Step &step) = 0;
  // An export answered 0 (error: the library's last error) or reported something (note).
  virtual void Refused(const Step &step, const std::string &error) = 0;
  virtual void Note(const Step &step, const std::string &note) = 0;
  // An export applied but left a warning (a picture call that found no file: it leaves the
  // component empty and names the file in the library's last error).
  virtual void Warned(const Step &step, const std::string &warning) = 0;
  // After each step.
  virtual void Stepped(const Step &) {}
};

// A path argument that cannot be handed to the library (the scene's folder and the name do not
// join into valid UTF-16): the step is refused, not run with a wrong or truncated path.
class PathError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A scene's path argument (UTF-8) as the library takes it: relative names joined to scene_dir,
// built from UTF-8 on every system. Throws PathError when that cannot be done.
std::u16string ScenePath(const std::filesystem::path &scene_dir, const std::string &utf8);

// Calls the export of an export step (not wait or snapshot) through lib and returns its
// result. Relative paths are taken from scene_dir (PathError when one cannot be built). A text
// rectangle is reported through note.
int CallExport(const Library &lib, const Step &step, const std::filesystem::path &scene_dir,
               std::string &note);

// A scene in progress: the steps, the next one, and scene time.
class SceneRun {
 public:
  // lib must outlive the run.
  SceneRun(const Library &lib, std::vector<Step> steps, std::filesystem::path scene_dir);

  // Runs every step due up to scene time until_ms, passing the waits between them, then
  // lets time pass up to until_ms. Returns false when the host stopped the run.
  bool RunUntil(std::uint64_t until_ms, SceneHost &host);
  // Runs the remaining steps; time ends where the last wait ends.
  bool RunToEnd(SceneHost &host);
  // One step out of sequence (a live command): an export, run now. Returns the export's result.
  int Apply(const Step &step, SceneHost &host);

  std::uint64_t now_ms() const { return now_ms_; }
  bool finished() const { return next_ >= steps_.size(); }
  const std::vector<Step> &steps() const { return steps_; }

 private:
  bool RunStep(const Step &step, SceneHost &host);
  bool Run(bool to_end, std::uint64_t until_ms, SceneHost &host);

  const Library &lib_;
  std::vector<Step> steps_;
  std::filesystem::path scene_dir_;
  std::size_t next_ = 0;
  std::uint32_t wait_left_ = 0;  // of the wait at next_, once started
  bool in_wait_ = false;
  std::uint64_t now_ms_ = 0;
};

}  // namespace vxscene
