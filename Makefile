# make        builds build/setup.exe and build/setup-loopback.exe
# make test   runs every test under Wine (installs what it needs first)
# make unit   runs the tests that need no servers (range plan, parsers, URL handling, rules): seconds
# make lint   the tree's habits (no folder include cycle, no file over 600 lines, the format) and cppcheck
# make format applies .clang-format to every C++ file
# make demo   installs the sample product with the loopback installer under Wine, through its window
# make bench  download benchmark against nginx on loopback, then the installer's start-up and
#             50 MiB install times
#
# The product is always the 32-bit build in $(BUILD). Tests run that same build where the kernel runs
# 32-bit programs; elsewhere (tools/host-arch.sh) they run a 64-bit build of the same sources in
# $(BUILD)/x64; the shipped executables' header checks and one start-up of the 32-bit installer through
# qemu user emulation use the 32-bit one.

BUILD ?= build
TEST_ARCH = $(shell tools/host-arch.sh)
TEST_BUILD = $(if $(filter i686,$(TEST_ARCH)),$(BUILD),$(BUILD)/x64)

.PHONY: all deps configure build build-tests test unit lint format demo bench clean

all: build

deps:
	@bash tools/install-deps.sh

$(BUILD)/build.ninja: CMakeLists.txt
	cmake -S . -B $(BUILD) -G Ninja

$(BUILD)/x64/build.ninja: CMakeLists.txt
	cmake -S . -B $(BUILD)/x64 -G Ninja -DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/cmake/mingw-x86_64.cmake

configure: deps $(BUILD)/build.ninja

build: configure
	cmake --build $(BUILD)

build-tests: build
	@echo "Tests run the $(TEST_ARCH) build in $(TEST_BUILD)"
	@if [ "$(TEST_BUILD)" != "$(BUILD)" ]; then \
	  $(MAKE) --no-print-directory $(TEST_BUILD)/build.ninja && cmake --build $(TEST_BUILD); fi

# Where the suite runs the 64-bit build, the shipped 32-bit program is also started once through qemu
# (tools/check-emulated-i686.sh), after the suite: on kernels older than 6.7 its qemu entry is
# machine-wide while it runs, and would make the suite's Wine emulate its 32-bit parts too.
test: build-tests
	@if [ "$(TEST_BUILD)" != "$(BUILD)" ]; then \
	  cd $(BUILD) && ctest --output-on-failure -R '^pe_'; fi
	cd $(TEST_BUILD) && ctest --output-on-failure --timeout 900 -E '^emulated_'
	@if [ "$(TEST_BUILD)" != "$(BUILD)" ]; then \
	  cd $(BUILD) && ctest --output-on-failure -R '^emulated_'; fi

unit: build-tests
	cd $(TEST_BUILD) && ctest --output-on-failure -L unit

lint: deps
	@bash tools/lint.sh

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

demo: build-tests
	bash tools/demo.sh $(TEST_BUILD)

bench: build-tests
	cmake --build $(TEST_BUILD) --target setup-bench setup-bench-slow setup-bench-slow-noprefetch
	@python3 tools/bench.py $(TEST_BUILD); download=$$?; \
	  python3 tools/bench_app.py $(TEST_BUILD) && exit $$download

clean:
	-WINEPREFIX=$(CURDIR)/$(TEST_BUILD)/wineprefix tools/wine-session.sh stop
	-WINEPREFIX=$(CURDIR)/$(TEST_BUILD)/wineprefix tools/small-drive.sh stop $(CURDIR)/$(TEST_BUILD)/small-drive S:
	rm -rf $(BUILD)
