#include "format/GnauralFormat.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <optional>
#include <vector>

#include "fileio/FileBytes.h"
#include "format/XmlReader.h"

namespace ovrel {

namespace {

constexpr std::array<const char*, 7> kVoiceTypes = {
    "binaural beat", "pink noise", "audio file", "isochronic tone", "alternating isochronic tone",
    "water drops",   "rain"};

std::string_view Trim(std::string_view s) {
  while (!s.empty() &&
         (s.front() == ' ' || s.front() == '\t' || s.front() == '\r' || s.front() == '\n'))
    s.remove_prefix(1);
  while (!s.empty() &&
         (s.back() == ' ' || s.back() == '\t' || s.back() == '\r' || s.back() == '\n'))
    s.remove_suffix(1);
  return s;
}

std::optional<double> Number(std::string_view s) {
  s = Trim(s);
  if (s.starts_with('+')) s.remove_prefix(1);
  double v = 0;
  const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  if (s.empty() || ec != std::errc() || end != s.data() + s.size() || !std::isfinite(v))
    return std::nullopt;
  return v;
}

std::optional<int64_t> Whole(std::string_view s) {
  s = Trim(s);
  int64_t v = 0;
  const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  if (s.empty() || ec != std::errc() || end != s.data() + s.size()) return std::nullopt;
  return v;
}

struct Entry {
  double Seconds = 0;
  int32_t Beat = 0;
  int32_t Pitch = 0;
  bool Silent = false;  // at volume 0 in both ears
  std::string Origin;
};

Failure Refused(std::string error, Fault kind = Fault::Syntax) {
  return {kind, std::move(error)};
}

// The elements of el named name, in file order.
std::vector<const XmlElement*> Children(const XmlElement& el, std::string_view name) {
  std::vector<const XmlElement*> out;
  for (const XmlElement& c : el.Children)
    if (c.Name == name) out.push_back(&c);
  return out;
}

// Compares a count element of el with the number of elements there are.
// The program's own readers count the elements and ignore the counts, so
// a disagreement (or a missing or unreadable count) is only listed.
void CheckCount(const XmlElement& el, const char* name, size_t actual, const std::string& what,
                ChangeList& changes) {
  const XmlElement* c = el.Child(name);
  const auto v = c ? Whole(c->Text) : std::nullopt;
  if (v && *v == static_cast<int64_t>(actual)) return;
  changes.Add(what + "<" + name + "> says " +
              (c ? QuotedInput(Trim(c->Text)) : std::string("nothing")) + ", but there are " +
              std::to_string(actual) + "; the " + std::to_string(actual) + " are read.");
}

// One entry's duration, beat and carrier, or the reason it is unusable.
std::optional<Entry> ReadEntry(const XmlElement& e, const std::string& origin, ChangeList& changes,
                               std::string& error) {
  double values[3] = {};
  const char* names[3] = {"duration", "beatfreq", "basefreq"};
  for (int k = 0; k < 3; ++k) {
    const std::string* a = e.Attribute(names[k]);
    const auto n = a ? Number(*a) : std::nullopt;
    if (!n || (k != 1 && *n < 0) || std::fabs(*n) > 1e9) {
      error = origin + " (line " + std::to_string(e.Line) + "): its " + names[k] +
              (a ? " " + QuotedInput(*a) + " is not a usable number." : " is missing.");
      return std::nullopt;
    }
    values[k] = *n;
  }
  Entry entry;
  entry.Origin = origin;
  entry.Seconds = values[0];
  const std::string* left = e.Attribute("volume_left");
  const std::string* right = e.Attribute("volume_right");
  entry.Silent = left && right && Number(*left).value_or(1) == 0 && Number(*right).value_or(1) == 0;
  if (!entry.Silent) {
    entry.Beat = TakeBeat(values[1], origin, changes);
    entry.Pitch = TakePitch(values[2], origin, changes);
  }
  return entry;
}

// A voice's type number, or nothing when it has none.
std::optional<int64_t> VoiceType(const XmlElement& voice) {
  const XmlElement* typeEl = voice.Child("type");
  return typeEl ? Whole(typeEl->Text) : std::nullopt;
}

std::string TypeName(int64_t type) {
  return type >= 0 && type < static_cast<int64_t>(kVoiceTypes.size())
             ? kVoiceTypes[static_cast<size_t>(type)]
             : "type " + std::to_string(type);
}

// Each entry glides to the next one's values; the last to the first's, as
// the schedule starts over. An entry at volume 0 is silence, left out.
std::vector<CourseSpan> EntrySpans(const std::vector<Entry>& es) {
  std::vector<CourseSpan> spans;
  for (size_t i = 0; i < es.size(); ++i) {
    const Entry& next = es[(i + 1) % es.size()];
    const Entry& to = next.Silent ? es[i] : next;
    CourseSpan span{es[i].Seconds, es[i].Beat, to.Beat, es[i].Pitch, to.Pitch, es[i].Origin, {}};
    if (es[i].Silent) span.LeftOut = ClockText(es[i].Seconds) + " at volume 0 are left out";
    spans.push_back(span);
  }
  return spans;
}

}  // namespace

ExchangeRead ReadGnauralText(std::string_view text) {
  const XmlRead xml = ReadXml(text);
  if (!xml) return Refused("The file is not well-formed XML: " + xml.Error());
  const XmlElement& root = *xml;
  if (root.Name != "schedule")
    return Refused("The root element is <" + root.Name + ">, not <schedule>.");

  ChangeList changes;
  const std::vector<const XmlElement*> voices = Children(root, "voice");
  CheckCount(root, "voicecount", voices.size(), "", changes);
  size_t entriesSeen = 0;
  std::optional<std::vector<Entry>> taken;
  std::string error;
  for (size_t v = 0; v < voices.size(); ++v) {
    const XmlElement& voice = *voices[v];
    const std::string voiceName = "voice " + std::to_string(v + 1);
    const XmlElement* entries = voice.Child("entries");
    const auto list = entries ? Children(*entries, "entry") : std::vector<const XmlElement*>{};
    CheckCount(voice, "entrycount", list.size(), voiceName + ": ", changes);
    entriesSeen += list.size();
    const auto type = VoiceType(voice);
    if (!type) return Refused(voiceName + ": the voice has no <type> number.");
    if (*type != 0 || taken) {
      changes.Add(voiceName + " (" + TypeName(*type) + ") is not taken over.");
      continue;
    }
    const XmlElement* mute = voice.Child("voice_mute");
    if (mute && Whole(mute->Text).value_or(0) != 0)
      changes.Add(voiceName + " is muted in the file; it is taken over all the same.");
    std::vector<Entry> got;
    for (size_t i = 0; i < list.size(); ++i) {
      const auto entry =
          ReadEntry(*list[i], voiceName + ", entry " + std::to_string(i + 1), changes, error);
      if (!entry) return Refused(error);
      got.push_back(*entry);
    }
    taken = std::move(got);
  }
  CheckCount(root, "totalentrycount", entriesSeen, "", changes);
  if (!taken) return Refused("The file has no binaural beat voice (type 0).", Fault::Empty);
  if (taken->empty()) return Refused("The binaural beat voice has no entries.", Fault::Empty);
  if (const XmlElement* loops = root.Child("loops"); loops && Whole(loops->Text) != 1)
    changes.Add("the schedule's loops (" + Excerpt(Trim(loops->Text)) +
                ") are not taken over: the session plays it once.");
  return SpansToSession(EntrySpans(*taken), changes);
}

std::string GnauralText(const Session& ses, const std::string& sesName,
                        const std::string& producer) {
  const std::vector<ExportPoint> points = ExportPoints(ses);
  const std::vector<std::string> description = ExportDescription(sesName, producer);
  std::string about;
  for (const std::string& line : description) about += (about.empty() ? "" : " ") + line;
  const std::string count = std::to_string(points.size());
  std::string out =
      "<?xml version=\"1.0\"?>\n"
      "<!-- " +
      XmlEscaped(producer) +
      " -->\n"
      "<schedule>\n"
      "<gnauralfile_version>1.20101006</gnauralfile_version>\n"
      "<gnaural_version>" +
      XmlEscaped(producer) +
      "</gnaural_version>\n"
      "<date></date>\n"
      "<title>" +
      XmlEscaped(sesName) +
      "</title>\n"
      "<schedule_description>" +
      XmlEscaped(about) +
      "</schedule_description>\n"
      "<author>" +
      XmlEscaped(producer) +
      "</author>\n"
      "<totaltime>" +
      std::to_string(points.back().Seconds) +
      "</totaltime>\n"
      "<voicecount>1</voicecount>\n"
      "<totalentrycount>" +
      count +
      "</totalentrycount>\n"
      "<loops>1</loops>\n"
      "<overallvolume_left>1</overallvolume_left>\n"
      "<overallvolume_right>1</overallvolume_right>\n"
      "<stereoswap>0</stereoswap>\n"
      "<graphview>0</graphview>\n"
      "<voice>\n"
      "<description>Binaural beat</description>\n"
      "<id>0</id>\n"
      "<type>0</type>\n"
      "<voice_state>1</voice_state>\n"
      "<voice_hide>0</voice_hide>\n"
      "<voice_mute>0</voice_mute>\n"
      "<voice_mono>0</voice_mono>\n"
      "<entrycount>" +
      count +
      "</entrycount>\n"
      "<entries>\n";
  for (size_t i = 0; i < points.size(); ++i) {
    const int64_t duration = i + 1 < points.size() ? points[i + 1].Seconds - points[i].Seconds : 0;
    out += "<entry parent=\"0\" duration=\"" + std::to_string(duration) +
           "\" volume_left=\"0.5\" volume_right=\"0.5\" beatfreq=\"" +
           std::to_string(points[i].Freq) + "\" basefreq=\"" + std::to_string(points[i].Pitch) +
           "\" state=\"0\"/>\n";
  }
  out += "</entries>\n</voice>\n</schedule>\n";
  return out;
}

}  // namespace ovrel
