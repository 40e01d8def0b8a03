// What every platform must do as Windows does, written once against the interfaces: each
// platform binds the suites here to its own implementation with INSTANTIATE_TEST_SUITE_P.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "platform/Controls.h"
#include "platform/Dde.h"
#include "platform/FileSystem.h"
#include "platform/SettingsStore.h"

namespace bridge::platform::contract {

/// A platform's window layer, with time that passes and a user who acts on it.
class UiHarness {
 public:
  virtual ~UiHarness() = default;
  virtual Ui& Layer() = 0;
  /// Lets `milliseconds` pass, delivering every message and timer that falls due meanwhile.
  virtual void Pass(std::int32_t milliseconds) = 0;
  /// The user closes the form.
  virtual void Close(Window& form) = 0;
  /// The user types one character into the text box `box` of `form`.
  virtual void Type(Window& form, TextBox& box, char character) = 0;
};

/// A program the client under test talks to, serving one service and topic.
class PeerHarness {
 public:
  virtual ~PeerHarness() = default;
  /// Starts serving (registering the service name); stopping ends its conversations.
  virtual void Start() = 0;
  virtual void Stop() = 0;
  /// Sets the item and pushes it to the links on it.
  virtual void Publish(const std::string& item, const std::string& value) = 0;
  /// Refuses hot links on the item from now on.
  virtual void RefuseLinks(const std::string& item) = 0;
  virtual void RefuseCommands(bool refuse) = 0;
  /// Every EXECUTE received, in order.
  virtual std::vector<std::string> Commands() = 0;
};

/// A platform's DDE client, with programs on its bus.
class DdeClientHarness {
 public:
  virtual ~DdeClientHarness() = default;
  virtual DdeClient& Client() = 0;
  /// A program that is not running until started.
  virtual PeerHarness& AddPeer(const std::string& service, const std::string& topic) = 0;
  /// Lets what was sent arrive.
  virtual void Pass(std::int32_t milliseconds) = 0;
};

/// A platform's DDE server, with a client of it on the bus.
class DdeServerHarness {
 public:
  virtual ~DdeServerHarness() = default;
  virtual DdeServer& Server() = 0;
  /// The client's REQUEST; nothing when the topic is not served or the item refused.
  virtual std::optional<std::string> Request(const std::string& topic, const std::string& item) = 0;
  /// The client's EXECUTE; nothing when the topic is not served.
  virtual std::optional<ExecuteAnswer> Execute(const std::string& topic, const std::string& command) = 0;
  /// The client's hot link; false when refused.
  virtual bool StartHotLink(const std::string& topic, const std::string& item) = 0;
  /// What the client's links were pushed, as "item=value" with the item named as its link did.
  virtual std::vector<std::string> Pushes() = 0;
  virtual void Pass(std::int32_t milliseconds) = 0;
};

/// A platform's settings store, with an application name of the test's own.
class SettingsHarness {
 public:
  virtual ~SettingsHarness() = default;
  virtual SettingsStore& Store() = 0;
  /// An application under which nothing is stored yet.
  virtual std::string App() = 0;
};

/// A platform's file system, with an empty folder of the test's own.
class FilesHarness {
 public:
  virtual ~FilesHarness() = default;
  virtual FileSystem& Files() = 0;
  /// An empty folder, without a trailing backslash.
  virtual std::string Folder() = 0;
  /// A folder inside `Folder()` that is not there yet.
  virtual std::string AbsentFolder() = 0;
};

/// A hidden form of that name, 3000 by 1000 twips.
inline WindowSpec FormDesign(const std::string& name) {
  WindowSpec design;
  design.name = name;
  design.caption = name;
  design.clientWidth = 3000;
  design.clientHeight = 1000;
  return design;
}

/// A control of that name and text.
inline ControlSpec ControlDesign(const std::string& name, const std::string& text = "") {
  ControlSpec design;
  design.name = name;
  design.layout = {0, 0, 1000, 300};
  design.text = text;
  return design;
}

/// One platform's way to make a harness, named for the test's name.
template <typename Harness>
struct Binding {
  std::string name;
  std::function<std::unique_ptr<Harness>()> make;
};

template <typename Harness>
void PrintTo(const Binding<Harness>& binding, std::ostream* out) {
  *out << binding.name;
}

template <typename Harness>
std::string BindingName(const ::testing::TestParamInfo<Binding<Harness>>& info) {
  return info.param.name;
}

/// A fresh harness for each test.
template <typename Harness>
class Contract : public ::testing::TestWithParam<Binding<Harness>> {
 protected:
  Contract() : harness(this->GetParam().make()) {}
  std::unique_ptr<Harness> harness;
};

class UiContract : public Contract<UiHarness> {};
class DdeClientContract : public Contract<DdeClientHarness> {};
class DdeServerContract : public Contract<DdeServerHarness> {};
class SettingsContract : public Contract<SettingsHarness> {};
class FilesContract : public Contract<FilesHarness> {};

}  // namespace bridge::platform::contract
