# make        builds build/setup.exe and build/setup-loopback.exe
# make test   runs every test under Wine (installs what it needs first)
# make demo   runs the loopback installer under Wine and shows what it did
# make bench  download benchmark against nginx on loopback (once the download engine exists)

BUILD ?= build
export WINEPREFIX ?= $(CURDIR)/$(BUILD)/wineprefix

.PHONY: all deps configure build test demo clean

all: build

deps:
	@bash tools/install-deps.sh

$(BUILD)/build.ninja: CMakeLists.txt
	cmake -S . -B $(BUILD) -G Ninja

configure: deps $(BUILD)/build.ninja

build: configure
	cmake --build $(BUILD)

test: build
	cd $(BUILD) && ctest --output-on-failure --timeout 900

demo: build
	bash tools/demo.sh $(BUILD)

clean:
	-tools/wine-session.sh stop
	rm -rf $(BUILD)
