#include "tests/serial/unit_fixture.h"

#include <future>
#include <thread>

#include "serial/unit_state.h"

namespace voren::test {

void SerialUnitTest::SetUp() { winseria::ResetUnit(); }

void SerialUnitTest::TearDown() { winseria::ResetUnit(); }

int32_t endsWithin(std::chrono::milliseconds limit, std::string_view what,
                   const std::function<int32_t()>& work, const std::function<void()>& release) {
  std::packaged_task<int32_t()> task(work);
  auto answer = task.get_future();
  std::thread caller(std::move(task));
  if (answer.wait_for(limit) != std::future_status::ready) {
    ADD_FAILURE() << what << " did not end within " << limit.count() << " ms";
    release();
  }
  caller.join();
  return answer.get();
}

int32_t answerWithin(std::chrono::milliseconds limit, std::string_view what,
                     const std::function<int32_t()>& transfer) {
  return endsWithin(limit, what, transfer,
                    [] { SetEvent(winseria::unitState().Transfer.CancelSignal); });
}

}  // namespace voren::test
