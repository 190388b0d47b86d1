// The host call trace: when it is on, every host method a plug-in calls and every slot the host
// calls into a plug-in is kept in order, with its arguments in readable form and its status,
// so a test or a person can read an instance's conversation with the host.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace refhost {

class Host;

struct HostCall {
  bool intoPlugin = false;  // a slot the host called, not a host method the plug-in called
  // The instance whose callback made the call ("Quit#1"), "" when none was running; for a
  // slot, the instance called.
  std::string caller;
  std::string method;     // "StringService.AllocString", "Editor.PutItem"; for a slot "Enable"
  std::string arguments;  // "out, 256"; "" for a slot
  uint16_t status = 0;
  int depth = 0;  // calls still open when this one began

  // "StringService.AllocString(out, 256)", or "-> Quit#1.Enable" for a slot.
  std::string Call() const;
  // Call() with the caller in front and the status behind: "Quit#1: Instance.Listen(1,
  // id(1802,0)) = 0", "-> Quit#1.Enable = 0".
  std::string Line() const;
};

// Builds the argument text of one call, one argument at a time.
class TraceArgs {
 public:
  explicit TraceArgs(const Host& host) : host_(host) {}
  TraceArgs& Number(int64_t number);
  TraceArgs& Id(const void* messageId);     // id(a,b)
  TraceArgs& Text(const char* text);        // "quoted", null as null
  TraceArgs& Name(const char* name16);      // a 16-byte name field, quoted
  TraceArgs& Value(const void* value);      // a tagged value the callee reads
  TraceArgs& Index(const void* value);      // a tagged value or none
  TraceArgs& Out(const void* value);        // an output value: its preset tag only
  TraceArgs& Out();                         // an output that is not a tagged value
  TraceArgs& Object(uint32_t handle);       // the object's path
  TraceArgs& Instance(const void* record);  // the instance's label
  TraceArgs& Buffer(const void* chars);     // a string or block by its tracked size
  TraceArgs& TextMax(const char* text, uint32_t max);
  TraceArgs& Separator(int16_t separator);  // '/'
  TraceArgs& List(uint32_t handle);
  TraceArgs& Message(const void* record);  // a message record by its id pair
  TraceArgs& Word(const char* word);       // a record the host does not spell out
  const std::string& Text() const { return text_; }

 private:
  TraceArgs& Add(const std::string& argument);
  const Host& host_;
  std::string text_;
};

class Tracer {
 public:
  bool On() const { return on_; }
  void SetOn(bool on) { on_ = on; }
  const std::vector<HostCall>& Calls() const { return calls_; }
  void Clear();

  // A host method begins: the caller is the instance whose callback is running.
  size_t BeginHostCall(std::string method, std::string arguments);
  // A slot call begins; the instance is the caller of what it does until EndCall.
  size_t BeginSlotCall(std::string instance, std::string slot);
  // Another instance's slot reached through its method table by a plug-in: what it does is its
  // own, though the host's callback bookkeeping still names the plug-in that called.
  void EnterInstance(std::string instance);
  void LeaveInstance();
  void EndCall(size_t at, uint16_t status);

 private:
  bool on_ = false;
  std::vector<HostCall> calls_;
  std::vector<std::string> callers_;  // innermost last
  struct Open {
    size_t at;
    uint64_t generation;  // a Clear() since it began makes its entry gone
    bool slot;            // it made its instance the caller
  };
  std::vector<Open> open_;  // calls begun and not yet ended
  uint64_t generation_ = 0;
};

}  // namespace refhost
