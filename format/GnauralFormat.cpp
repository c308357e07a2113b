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
  std::string Origin;
};

ExchangeRead Failure(std::string error) {
  ExchangeRead r;
  r.Error = std::move(error);
  return r;
}

// A count element of el that must hold a whole number.
std::optional<int64_t> Count(const XmlElement& el, const char* name, std::string& error) {
  const XmlElement* c = el.Child(name);
  if (!c) {
    error = "<" + std::string(name) + "> is missing.";
    return std::nullopt;
  }
  const auto v = Whole(c->Text);
  if (!v || *v < 0) {
    error = "line " + std::to_string(c->Line) + ": <" + name + "> holds \"" + Excerpt(c->Text) +
            "\", not a count.";
    return std::nullopt;
  }
  return v;
}

}  // namespace

ExchangeRead ReadGnauralText(std::string_view text) {
  const XmlRead xml = ReadXml(text);
  if (!xml) return Failure("The file is not well-formed XML: " + xml.Error);
  const XmlElement& root = *xml.Root;
  if (root.Name != "schedule")
    return Failure("The root element is <" + root.Name + ">, not <schedule>.");

  std::string error;
  const auto voiceCount = Count(root, "voicecount", error);
  if (!voiceCount) return Failure(error);
  const auto totalEntries = Count(root, "totalentrycount", error);
  if (!totalEntries) return Failure(error);

  std::vector<const XmlElement*> voices;
  for (const XmlElement& c : root.Children)
    if (c.Name == "voice") voices.push_back(&c);
  if (*voiceCount != static_cast<int64_t>(voices.size()))
    return Failure("<voicecount> says " + std::to_string(*voiceCount) +
                   " voices, but the file has " + std::to_string(voices.size()) + ".");

  ChangeList changes;
  int64_t entriesSeen = 0;
  std::optional<std::vector<Entry>> taken;
  for (size_t v = 0; v < voices.size(); ++v) {
    const XmlElement& voice = *voices[v];
    const std::string voiceName = "voice " + std::to_string(v + 1);
    const auto entryCount = Count(voice, "entrycount", error);
    if (!entryCount) return Failure(voiceName + ": " + error);
    const XmlElement* entries = voice.Child("entries");
    std::vector<const XmlElement*> list;
    if (entries)
      for (const XmlElement& e : entries->Children)
        if (e.Name == "entry") list.push_back(&e);
    if (*entryCount != static_cast<int64_t>(list.size()))
      return Failure(voiceName + ": <entrycount> says " + std::to_string(*entryCount) +
                     " entries, but the voice has " + std::to_string(list.size()) + ".");
    entriesSeen += static_cast<int64_t>(list.size());

    const XmlElement* typeEl = voice.Child("type");
    const auto type = typeEl ? Whole(typeEl->Text) : std::nullopt;
    if (!type) return Failure(voiceName + ": the voice has no <type> number.");
    const std::string typeName = *type >= 0 && *type < static_cast<int64_t>(kVoiceTypes.size())
                                     ? kVoiceTypes[static_cast<size_t>(*type)]
                                     : "type " + std::to_string(*type);
    if (*type != 0 || taken) {
      changes.Add(voiceName + " (" + typeName + ") is not taken over.");
      continue;
    }
    const XmlElement* mute = voice.Child("voice_mute");
    if (mute && Whole(mute->Text).value_or(0) != 0)
      changes.Add(voiceName + " is muted in the file; it is taken over all the same.");
    std::vector<Entry> got;
    for (size_t i = 0; i < list.size(); ++i) {
      const XmlElement& e = *list[i];
      const std::string origin = voiceName + ", entry " + std::to_string(i + 1);
      double values[3] = {};
      const char* names[3] = {"duration", "beatfreq", "basefreq"};
      for (int k = 0; k < 3; ++k) {
        const std::string* a = e.Attribute(names[k]);
        const auto n = a ? Number(*a) : std::nullopt;
        if (!n || (k != 1 && *n < 0) || std::fabs(*n) > 1e9)
          return Failure(origin + " (line " + std::to_string(e.Line) + "): its " + names[k] +
                         (a ? " \"" + Excerpt(*a) + "\" is not a usable number." : " is missing."));
        values[k] = *n;
      }
      got.push_back({values[0], TakeBeat(values[1], origin, changes),
                     TakePitch(values[2], origin, changes), origin});
    }
    taken = std::move(got);
  }
  if (*totalEntries != entriesSeen)
    return Failure("<totalentrycount> says " + std::to_string(*totalEntries) +
                   " entries, but the voices have " + std::to_string(entriesSeen) + ".");
  if (!taken) return Failure("The file has no binaural beat voice (type 0).");
  if (taken->empty()) return Failure("The binaural beat voice has no entries.");
  if (const XmlElement* loops = root.Child("loops"); loops) {
    const auto n = Whole(loops->Text);
    if (n != 1)
      changes.Add("the schedule's loops (" + Excerpt(Trim(loops->Text)) +
                  ") are not taken over: the session plays it once.");
  }

  // Each entry glides to the next one's values; the last to the first's,
  // as the schedule starts over.
  std::vector<CourseSpan> spans;
  const std::vector<Entry>& es = *taken;
  for (size_t i = 0; i < es.size(); ++i) {
    const Entry& next = es[(i + 1) % es.size()];
    spans.push_back({es[i].Seconds, es[i].Beat, next.Beat, es[i].Pitch, next.Pitch, es[i].Origin});
  }
  return SpansToSession(spans, changes);
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
