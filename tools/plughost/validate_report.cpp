#include "tools/plughost/validate_report.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "tools/plughost/xml_text.h"

namespace plughost {
namespace {

std::string Json(const std::string& text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
      out += escaped;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

std::string Seconds(double seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%.3f", seconds);
  return text;
}

const char* Word(Outcome outcome) {
  return outcome == Outcome::kOk ? "ok" : outcome == Outcome::kFail ? "fail" : "skip";
}

bool Save(const std::string& path, const std::string& text, std::string* error) {
  std::error_code ec;
  const std::filesystem::path parent = std::filesystem::path(path).parent_path();
  if (!parent.empty()) std::filesystem::create_directories(parent, ec);
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  out.close();
  if (!out) {
    *error = "cannot write " + path;
    return false;
  }
  return true;
}

}  // namespace

// One test suite per library and class, one test case per check: the shape Jenkins, GitLab
// and GitHub's test reporters read.
bool WriteJUnit(const ValidateReport& report, const std::string& path, std::string* error) {
  struct Suite {
    std::string library, className;
    std::vector<const CheckResult*> cases;
  };
  std::vector<Suite> suites;
  for (const CheckResult& r : report.results) {
    if (suites.empty() || suites.back().library != r.library ||
        suites.back().className != r.className) {
      suites.push_back(Suite{r.library, r.className, {}});
    }
    suites.back().cases.push_back(&r);
  }
  auto count = [](const std::vector<const CheckResult*>& cases, Outcome outcome) {
    size_t n = 0;
    for (const CheckResult* c : cases) n += c->outcome == outcome ? 1 : 0;
    return n;
  };
  std::vector<const CheckResult*> all;
  double total = 0;
  for (const CheckResult& r : report.results) {
    all.push_back(&r);
    total += r.seconds;
  }
  std::ostringstream xml;
  xml << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      << "<testsuites name=\"plughost validate\" tests=\"" << all.size() << "\" failures=\""
      << count(all, Outcome::kFail) << "\" skipped=\"" << count(all, Outcome::kSkip) << "\" time=\""
      << Seconds(total) << "\">\n";
  for (const Suite& suite : suites) {
    const std::string stem = std::filesystem::path(suite.library).stem().string();
    const std::string name = suite.className.empty() ? stem : stem + "." + suite.className;
    double time = 0;
    for (const CheckResult* c : suite.cases) time += c->seconds;
    xml << "  <testsuite name=\"" << XmlEscaped(name) << "\" tests=\"" << suite.cases.size()
        << "\" failures=\"" << count(suite.cases, Outcome::kFail) << "\" skipped=\""
        << count(suite.cases, Outcome::kSkip) << "\" time=\"" << Seconds(time) << "\">\n"
        << "    <properties>\n"
        << "      <property name=\"library\" value=\"" << XmlEscaped(suite.library) << "\"/>\n"
        << "      <property name=\"seed\" value=\"" << report.seed << "\"/>\n"
        << "    </properties>\n";
    for (const CheckResult* c : suite.cases) {
      xml << "    <testcase classname=\"" << XmlEscaped(name) << "\" name=\""
          << XmlEscaped(c->check) << "\" time=\"" << Seconds(c->seconds) << "\"";
      if (c->outcome == Outcome::kOk) {
        xml << "/>\n";
      } else {
        const char* element = c->outcome == Outcome::kFail ? "failure" : "skipped";
        xml << ">\n      <" << element << " message=\"" << XmlEscaped(c->reason) << "\"/>\n"
            << "    </testcase>\n";
      }
    }
    xml << "  </testsuite>\n";
  }
  xml << "</testsuites>\n";
  return Save(path, xml.str(), error);
}

bool WriteJson(const ValidateReport& report, const std::string& path, std::string* error) {
  std::ostringstream json;
  json << "{\n  \"seed\": " << report.seed << ",\n  \"checks\": [";
  bool first = true;
  for (const CheckResult& r : report.results) {
    json << (first ? "\n" : ",\n") << "    {\"library\": " << Json(r.library)
         << ", \"class\": " << Json(r.className) << ", \"check\": " << Json(r.check)
         << ", \"result\": " << Json(Word(r.outcome)) << ", \"reason\": " << Json(r.reason)
         << ", \"seconds\": " << Seconds(r.seconds) << "}";
    first = false;
  }
  json << "\n  ]\n}\n";
  return Save(path, json.str(), error);
}

}  // namespace plughost
