# The two commands a newcomer needs: `make run` and `make test`.
BUILD ?= build
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
DEBS := qt6-base-dev qt6-serialport-dev qt6-charts-dev qt6-tools-dev qt6-l10n-tools \
        qt6-translations-l10n libudev-dev libgl-dev fonts-dejavu-core xvfb \
        cmake g++ make pkg-config
SUDO := $(shell [ "$$(id -u)" = 0 ] || echo sudo)

.PHONY: all deps configure build run test clean

all: build

# Installs only the Debian packages that are missing.
deps:
	@missing=$$(for p in $(DEBS); do dpkg-query -W -f='$${Status}\n' $$p 2>/dev/null | \
	    grep -q 'install ok installed' || echo $$p; done); \
	if [ -n "$$missing" ]; then \
	    echo "Installing:" $$missing; \
	    $(SUDO) apt-get update -qq && \
	    DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y $$missing; \
	fi

configure: deps
	@[ -f $(BUILD)/CMakeCache.txt ] || cmake -S . -B $(BUILD) -G "Unix Makefiles"

build: configure
	cmake --build $(BUILD) -j$(JOBS)

# The program with its built-in demo instrument (use `xvfb-run make run` without a display).
run: build
	$(BUILD)/app/QEL_Connect --demo

test: build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j$(JOBS)

clean:
	rm -rf $(BUILD)
