#pragma once
// The connect dialog (window 1030) of an outgoing channel opened without a
// connect text: the station's call with any digipeaters, the port, the
// radio channel and its QRG. "OK" hands the connect to the channel and
// closes; cancelling closes the channel as well.

#include "core/app.h"
#include "ui/form.h"

namespace tarvik::channels {

enum ConnectDialogId : int {
  kCdCancel = 0,
  kCdOk = 1,
  kCdStation = 2,
  kCdQrg = 3,
  kCdPort = 4,
  kCdChan = 5,
};

class ConnectDialog final : public ui::Form {
 public:
  ConnectDialog(core::App& app, ui::FormRuntime& forms, ui::WindowId channel);

 protected:
  bool ownerEvent(ui::Event& event) override;
  void onCommand(int id, std::intptr_t argument) override;

 private:
  void fillPorts();
  void fillRadioChannels();
  void showQrg();
  void connect();
  void cancel();
  // The number at the start of the chosen entry ("%d:%s"), -1 when none.
  int chosenNumber(int id) const;

  core::App& app_;
  ui::WindowId channel_;
};

ui::WindowId OpenConnectDialog(core::App& app, ui::FormRuntime& forms, ui::WindowId channel);

}  // namespace tarvik::channels
