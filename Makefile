# The two commands a newcomer needs: `make run` and `make test`.
BUILD ?= build
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
DEBS := qt6-base-dev qt6-serialport-dev qt6-charts-dev qt6-tools-dev qt6-l10n-tools \
        qt6-translations-l10n libudev-dev libgl-dev libgif-dev libxlsxwriter-dev fonts-dejavu-core fonts-liberation xvfb \
        cmake g++ make pkg-config
# The fuzz targets need clang and its runtimes; `make asan` uses g++, whose runtimes come
# with it.
FUZZ_DEBS := clang libclang-rt-14-dev
SUDO := $(shell [ "$$(id -u)" = 0 ] || echo sudo)

ASAN_BUILD ?= build-asan
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 60
FUZZ_TARGETS := fuzz_receive fuzz_archive_file fuzz_text fuzz_settings
SANITIZE := -fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer
# Qt 6.4's QList compare passes the null data of two empty lists to memcmp (with size 0). That
# one check stays recoverable so that this header alone can be suppressed; every other finding,
# and this check anywhere else, still ends the test (halt_on_error).
ASAN_SANITIZE := $(SANITIZE) -fsanitize-recover=nonnull-attribute
UBSAN_SUPP := $(ASAN_BUILD)/ubsan.supp

.PHONY: all deps deps-fuzz configure build run test clean asan fuzz fuzz-smoke fuzz-build

all: build

# Installs only the Debian packages that are missing.
define install-missing
	@missing=$$(for p in $(1); do dpkg-query -W -f='$${Status}\n' $$p 2>/dev/null | \
	    grep -q 'install ok installed' || echo $$p; done); \
	if [ -n "$$missing" ]; then \
	    echo "Installing:" $$missing; \
	    $(SUDO) apt-get update -qq && \
	    DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y $$missing; \
	fi
endef

deps:
	$(call install-missing,$(DEBS))

deps-fuzz: deps
	$(call install-missing,$(FUZZ_DEBS))

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
	rm -rf $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD)

# The whole suite under AddressSanitizer and UBSan (any finding fails its test). -O1 keeps
# the build and the run quick; only the tests and what they start are built.
asan: deps
	@[ -f $(ASAN_BUILD)/CMakeCache.txt ] || cmake -S . -B $(ASAN_BUILD) -G "Unix Makefiles" \
	    -DCMAKE_BUILD_TYPE=Asan -DCMAKE_CXX_FLAGS_ASAN="-O1 -g $(ASAN_SANITIZE)" \
	    -DCMAKE_EXE_LINKER_FLAGS_ASAN="$(ASAN_SANITIZE)"
	cmake --build $(ASAN_BUILD) -j$(JOBS) --target \
	    $$(cmake --build $(ASAN_BUILD) --target help | sed -n 's/^\.\.\. \(tst_[A-Za-z0-9_]*\)$$/\1/p')
	printf 'nonnull-attribute:*/QtCore/qarraydataops.h\n' > $(UBSAN_SUPP)
	cd $(ASAN_BUILD) && QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=detect_leaks=1 \
	    UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1:suppressions=$(abspath $(UBSAN_SUPP)) \
	    ctest --output-on-failure -j$(JOBS)

# libFuzzer targets, each run for FUZZ_SECONDS on a copy of its seed corpus (the committed
# seeds stay as they are; findings go to $(FUZZ_BUILD)/findings).
fuzz-build: deps-fuzz
	@[ -f $(FUZZ_BUILD)/CMakeCache.txt ] || CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) \
	    -G "Unix Makefiles" -DQEL_FUZZ=ON -DBUILD_TESTING=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(FUZZ_BUILD) -j$(JOBS) --target $(FUZZ_TARGETS)

# The targets write their inputs to files; in memory they run several times as fast.
FUZZ_TMP := $(shell [ -d /dev/shm ] && [ -w /dev/shm ] && echo /dev/shm || echo /tmp)

fuzz: fuzz-build
	@set -e; tmp=$$(mktemp -d $(FUZZ_TMP)/qel-fuzz.XXXXXX); trap 'rm -rf "$$tmp"' EXIT; \
	for t in $(FUZZ_TARGETS); do \
	    rm -rf $(FUZZ_BUILD)/corpus/$$t; mkdir -p $(FUZZ_BUILD)/corpus/$$t $(FUZZ_BUILD)/findings; \
	    cp fuzz/corpus/$$t/* $(FUZZ_BUILD)/corpus/$$t/; \
	    echo "== $$t for $(FUZZ_SECONDS) s"; \
	    TMPDIR=$$tmp $(FUZZ_BUILD)/fuzz/$$t -max_total_time=$(FUZZ_SECONDS) -print_final_stats=1 \
	        -artifact_prefix=$(FUZZ_BUILD)/findings/$$t- $(FUZZ_BUILD)/corpus/$$t \
	        > $(FUZZ_BUILD)/$$t.log 2>&1 || { tail -n 60 $(FUZZ_BUILD)/$$t.log; exit 1; }; \
	    grep -E '^#[0-9]+' $(FUZZ_BUILD)/$$t.log | tail -n 1; \
	done

fuzz-smoke:
	$(MAKE) fuzz FUZZ_SECONDS=20
