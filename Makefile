# Makefile -- the set-up commands: `make run` starts the explorer, `make test` runs every test, `make deb` makes the Debian package.
# Each installs what is missing from Debian's packages first (as root, or through sudo).

BUILD   ?= build
JOBS    ?= $(shell nproc)
ARGS    ?=
# What building needs, and what the tests need besides (windows, memcheck, the package check, films
# in parts under GNU parallel and Slurm).
BUILD_PACKAGES = cmake g++ make pkg-config libgtest-dev libgmock-dev libbenchmark-dev \
                 freeglut3-dev libgl-dev libx11-dev libpng-dev
# What cpack needs to find the libraries the package depends on.
DEB_PACKAGES   = dpkg-dev file
TEST_PACKAGES  = xvfb xauth xdotool x11-apps x11-utils imagemagick valgrind clang libclang-rt-14-dev \
                 groff-base desktop-file-utils parallel slurm-wlm munge $(DEB_PACKAGES)
CPACK   ?= cpack

SUDO := $(shell [ "$$(id -u)" = 0 ] || echo sudo)

.PHONY: run test build bench deb deps-build deps-test deps-deb clean

# Installs the missing ones among the packages given, with one `apt-get update` before;
# daemons the install brings (munge, slurmctld, slurmd) are neither started nor enabled.
# Nothing is asked of sudo when nothing is missing.
define install_missing
	@missing=$$(for p in $(1); do \
	    dpkg-query -W -f='$${Status}\n' $$p 2>/dev/null | grep -q '^install ok installed' || echo $$p; \
	  done); \
	if [ -n "$$missing" ]; then $(SUDO) sh cmake/install-packages.sh $$missing; fi
endef

deps-build:
	$(call install_missing,$(BUILD_PACKAGES))

deps-test:
	$(call install_missing,$(BUILD_PACKAGES) $(TEST_PACKAGES))

deps-deb:
	$(call install_missing,$(BUILD_PACKAGES) $(DEB_PACKAGES))

define compile
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD) -j $(JOBS)
endef

build: deps-build
	$(compile)

run: build
	@if [ -z "$$DISPLAY" ]; then \
	  echo "rootzoom needs an X display, and DISPLAY is not set."; \
	  echo "Run it on a desktop, through 'ssh -X', or in a virtual X server:"; \
	  echo "  apt-get install xvfb && xvfb-run -s '-screen 0 1024x768x24' $(BUILD)/rootzoom $(ARGS)"; \
	  exit 1; \
	fi
	$(BUILD)/rootzoom $(ARGS)

# The whole suite; then the unit, session and tool tests again under
# AddressSanitizer and UndefinedBehaviorSanitizer, and again under
# ThreadSanitizer, which stops at its first report; then bounded fuzz runs
# (FUZZ_SECONDS per target) of a clang build.
FUZZ_SECONDS ?= 60
SANITIZED_SKIP = '^(window|package|memcheck)'
# Races stop the run; thread leaks are not reported: Ctrl-C ends
# rootzoom-render at once (_exit from its signal handler), and a picture
# writer thread that has just finished its rows may not be joined yet.
TSAN_OPTIONS_TEST = halt_on_error=1 report_thread_leaks=0

test: deps-test
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD) -j $(JOBS)
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)
	cmake -S . -B $(BUILD)-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DROOTZOOM_SANITIZE=ON -DROOTZOOM_BENCH=OFF
	cmake --build $(BUILD)-asan -j $(JOBS)
	cd $(BUILD)-asan && ctest --output-on-failure -j $(JOBS) -E $(SANITIZED_SKIP)
	cmake -S . -B $(BUILD)-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DROOTZOOM_TSAN=ON -DROOTZOOM_BENCH=OFF
	cmake --build $(BUILD)-tsan -j $(JOBS)
	cd $(BUILD)-tsan && TSAN_OPTIONS="$(TSAN_OPTIONS_TEST)" ctest --output-on-failure -j $(JOBS) -E $(SANITIZED_SKIP)
	CC=clang CXX=clang++ cmake -S . -B $(BUILD)-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DROOTZOOM_FUZZ=ON \
	  -DROOTZOOM_TESTS=OFF -DROOTZOOM_BENCH=OFF
	cmake --build $(BUILD)-fuzz -j $(JOBS) --target fuzz_cmdline fuzz_options fuzz_render
	bash tests/fuzz/run.sh $(BUILD)-fuzz $(FUZZ_SECONDS)

# The Debian package, $(BUILD)/rootzoom_VERSION_ARCH.deb. Its Depends line is
# made from the libraries the programs link; every program links the C
# library, so a Depends line without libc6 means those libraries were not
# found, and such a package is deleted and refused.
# Everything it needs is installed in one go, with one `apt-get update`.
deb: deps-deb
	$(compile)
	rm -f $(BUILD)/rootzoom_*.deb
	cd $(BUILD) && $(CPACK) -G DEB
	@for deb in $(BUILD)/rootzoom_*.deb; do \
	  depends=$$(dpkg-deb -f "$$deb" Depends); \
	  case "$$depends" in \
	    *libc6*) echo "$$deb depends on: $$depends";; \
	    *) rm -f $(BUILD)/rootzoom_*.deb $(BUILD)/_CPack_Packages/*/DEB/rootzoom_*.deb; \
	       echo "refused $$deb: its Depends line ('$$depends') does not list the libraries the programs link;" \
	            "cpack needs dpkg-shlibdeps (dpkg-dev) and file for it" >&2; \
	       exit 1;; \
	  esac; \
	done

bench: build
	$(BUILD)/bench/rootzoom_bench

clean:
	rm -rf $(BUILD) $(BUILD)-asan $(BUILD)-tsan $(BUILD)-fuzz
